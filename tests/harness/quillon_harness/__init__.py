"""Runs Windows programs under Wine for the end-to-end tests and drives their windows."""

from .display import Display
from .prefix import (KINDS, HarnessError, Prefix, PrefixKind, Process, RegKey, RegValue, Result,
                     WineTimeout)
from .uidriver import NoSuchWindow, UiDriver, UiTimeout, Window

__all__ = [
    "KINDS", "Display", "HarnessError", "NoSuchWindow", "Prefix", "PrefixKind", "Process", "RegKey",
    "RegValue", "Result", "UiDriver", "UiTimeout", "WineTimeout", "Window",
]
