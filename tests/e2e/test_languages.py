"""The run's language: the selection form under Xvfb, silent selection, translated script texts.

Each setup offers its languages through translation files in the support folder. The script reports
what it saw through its exit code, so that a test reads the engine's choice as a user's script would.
Wine's user locale here is English (United States).
"""

from __future__ import annotations

from pathlib import Path

import pytest

from setup_projects import Project, build_setup
from ui_helpers import children_by_id, relative, wait_for

TITLE = "Quillon Test"
SET_KEY = "{6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}"

# Exit codes by the language the script runs in; no language at all gives 9.
LANGUAGE_CODES = {"Dutch": 31, "English": 32, "German": 33, "French": 34}


def terminate_with(code: str) -> str:
    return f"Terminate with Exit Code\n  | {code}\n"


def if_language_then_exit(language: str, code: int) -> str:
    return (f"If\n  | LANGUAGE\n  | 4\n  | {language}\n  | FALSE\n"
            f"{terminate_with(str(code))}"
            "End\n")


EXIT_BY_LANGUAGE = "".join(if_language_then_exit(name, code) for name, code in LANGUAGE_CODES.items()) + \
    terminate_with("9")


def crlf(*lines: str) -> bytes:
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def translation_files(languages: dict[str, list[str]], keys: list[str], originals: list[str]) -> dict[str, bytes]:
    """The four files of the translation tables; script texts have no dialog, so the map lines are empty."""
    files = {
        "translations.Map": crlf(*[""] * len(keys)),
        f"{TITLE}.mtx": crlf(*keys),
        "translations.Original": crlf(*originals),
    }
    for name, texts in languages.items():
        files[f"translations.{name}"] = crlf(*texts)
    return files


def languages_project(folder: Path, languages: list[str], default: str, ask: bool = True,
                      script: str = EXIT_BY_LANGUAGE) -> Project:
    files = translation_files({name: ["x"] for name in languages}, [SET_KEY], ["x"])
    return Project(folder, title=TITLE, script=script, support_files=files,
                   extra_settings=f"ask-language = {'TRUE' if ask else 'FALSE'}\ndefault-language = {default}\n")


@pytest.fixture
def builder(host_bin: Path) -> Path:
    return host_bin / "builder"


def build(builder: Path, product_bin: Path, tmp_path: Path, project: Project) -> Path:
    return build_setup(builder, project, tmp_path / "out", product_bin)


@pytest.mark.parametrize("languages, default, chosen", [
    (["Dutch", "English", "German"], "German", "English"),  # the locale's language when offered
    (["Dutch", "German"], "German", "German"),              # else the default language
    (["German", "Dutch"], "French", "Dutch"),               # else the first file listed
], ids=["locale", "default", "first"])
def test_a_silent_run_chooses_without_a_form(prefix, builder, product_bin, tmp_path, languages, default, chosen):
    exe = build(builder, product_bin, tmp_path, languages_project(tmp_path / "project", languages, default))
    assert prefix.run(exe, ["/s"], timeout=120).exit_code == LANGUAGE_CODES[chosen]


@pytest.mark.parametrize("languages, default, ask, chosen", [
    (["Dutch", "German"], "german", False, "German"),  # without asking, the default language (any case)
    (["Dutch", "German"], "French", False, None),       # no file for the default language: none
    (["shared.German", "Dutch"], "German", True, "Dutch"),  # a shared engine-text file is no language
], ids=["default", "no-default", "shared-excluded"])
def test_languages_without_asking(prefix, builder, product_bin, tmp_path, languages, default, ask, chosen):
    exe = build(builder, product_bin, tmp_path, languages_project(tmp_path / "project", languages, default, ask))
    assert prefix.run(exe, ["/s"], timeout=120).exit_code == (LANGUAGE_CODES[chosen] if chosen else 9)


def test_a_patch_beside_the_database_does_not_ask(prefix, builder, product_bin, tmp_path):
    """With a patch the locale's English is not chosen: the default language stays."""
    project = languages_project(tmp_path / "project", ["English", "German"], "German")
    project.folder.mkdir(parents=True)
    (project.folder / "update.msp").write_bytes(b"not read before the installation")
    project.extra_settings += "database-patch = update.msp\n"
    exe = build(builder, product_bin, tmp_path, project)
    assert prefix.run(exe, ["/s"], timeout=120).exit_code == LANGUAGE_CODES["German"]


def test_no_key_file_means_no_language(prefix, builder, product_bin, tmp_path):
    project = languages_project(tmp_path / "project", ["Dutch", "German"], "German")
    del project.support_files[f"{TITLE}.mtx"]
    exe = build(builder, product_bin, tmp_path, project)
    assert prefix.run(exe, ["/s"], timeout=120).exit_code == 9


def test_the_form_lists_the_languages_and_ok_picks_one(prefix, ui, builder, product_bin, tmp_path, screenshot):
    exe = build(builder, product_bin, tmp_path,
                languages_project(tmp_path / "project", ["Dutch", "English", "German"], "German"))
    engine = prefix.start(exe)
    form = ui.wait_window(cls="TSetLanguage", timeout=60)

    assert form["text"] == "Select Setup Language"
    assert form["client_size"] == [241, 127]
    width, height = form["rect"][2] - form["rect"][0], form["rect"][3] - form["rect"][1]
    assert form["rect"][:2] == [(1024 - width) // 2, (768 - height) // 2]
    controls = children_by_id(ui, form)
    label, combo = controls[3], controls[6]
    assert label["text"] == "Please select the language to use during the installation:"
    assert relative(label, form) == (56, 16, 169, 33)
    assert combo["class"].lower() == "combobox"
    assert relative(combo, form)[:3] == (56, 56, 169)
    # Wine lists a folder sorted by name; the locale's English is pre-selected over the default German.
    assert combo["items"] == ["Dutch", "English", "German"]
    assert combo["selected"] == 1
    assert controls[1]["text"] == "&OK" and controls[2]["text"] == "&Cancel"
    assert controls[4]["visible"] and not controls[5]["visible"]
    screenshot("language form")

    ui.key(combo["hwnd"], "DOWN")
    wait_for(lambda: ui.window(combo["hwnd"])["selected"] == 2)
    ui.click(controls[1]["hwnd"])
    assert engine.wait(timeout=120).exit_code == LANGUAGE_CODES["German"]


@pytest.mark.parametrize("key, exit_code", [("RETURN", LANGUAGE_CODES["German"]), ("ESCAPE", 0)],
                         ids=["enter-is-ok", "escape-cancels"])
def test_the_form_answers_the_keyboard(prefix, ui, builder, product_bin, tmp_path, key, exit_code):
    exe = build(builder, product_bin, tmp_path, languages_project(tmp_path / "project", ["Dutch", "German"], "German"))
    engine = prefix.start(exe)
    form = ui.wait_window(cls="TSetLanguage", timeout=60)
    combo = children_by_id(ui, form)[6]
    assert combo["selected"] == 1
    ui.key(combo["hwnd"], key)
    # Cancelled, the script does not run at all: its exit codes are never set.
    assert engine.wait(timeout=120).exit_code == exit_code


def translated_project(folder: Path, script: str, mode: str | None = None) -> Project:
    """German translations of a Set Variable's text ("1" → "2") and of a Localization Variable's text
    ("1" → "#TWO#", a build setting that is "2"); the script ends with exit code $SET$$LOCAL$."""
    files = translation_files({"German": ["2", "#TWO#"], "French": ["3", "3"]},
                              [SET_KEY, "VODORIRE$LOCAL$VODORIRE"], ["1", "1"])
    settings = "[build-settings]\n| TWO\n| 2\n" + (f"| LOCMODE\n| {mode}\n" if mode else "")
    return Project(folder, title=TITLE, script=script, support_files=files,
                   extra_settings="ask-language = FALSE\ndefault-language = German\n" + settings)


def set_and_localize(set_text: str) -> str:
    return (f"Set Variable\n  | SET\n  | {set_text}\n  @key {SET_KEY}\n"
            "Localization Variable\n  | LOCAL\n  | 1\n"
            f"{terminate_with('$SET$$LOCAL$')}")


@pytest.mark.parametrize("mode, set_text, exit_code", [
    (None, "1", 22),          # everything is translated
    (None, "5", 22),          # a changed text is translated all the same
    ("VARSONLY", "1", 12),    # only the Localization Variable
    ("NEWONLY", "1", 22),     # unchanged texts are translated
    ("NEWONLY", "5", 52),     # a text changed since the translation stays as written
], ids=["everything", "everything-changed", "varsonly", "newonly", "newonly-changed"])
def test_script_texts_are_translated_by_mode(prefix, builder, product_bin, tmp_path, mode, set_text, exit_code):
    exe = build(builder, product_bin, tmp_path, translated_project(tmp_path / "project", set_and_localize(set_text),
                                                                   mode))
    assert prefix.run(exe, ["/s"], timeout=120).exit_code == exit_code


def test_the_script_switches_and_drops_languages(prefix, builder, product_bin, tmp_path):
    """LANGUAGE set by the script loads that language's tables before the next command; a language
    without files is dropped, so LANGUAGE is empty afterwards."""
    script = ("Set Variable\n  | LANGUAGE\n  | French\n"
              f"Set Variable\n  | SET\n  | 1\n  @key {SET_KEY}\n"
              "Set Variable\n  | LANGUAGE\n  | Klingon\n"
              "Comment\n"
              "If\n  | LANGUAGE\n  | 0\n  | \n  | FALSE\n"
              f"{terminate_with('$SET$')}"
              "End\n"
              f"{terminate_with('99')}")
    exe = build(builder, product_bin, tmp_path, translated_project(tmp_path / "project", script))
    assert prefix.run(exe, ["/s"], timeout=120).exit_code == 3


def language_block(texts: dict[int, str]) -> list[str]:
    return [texts.get(line, f"text {line}") for line in range(1, 116)]


def test_the_form_speaks_the_language_file(prefix, ui, builder, product_bin, tmp_path):
    """The form's texts are engine texts: here from the block of the user's language (English)."""
    english = {89: "Choose a language", 90: "Which language shall the setup speak?", 38: "&Go", 39: "&Stop"}
    language_file = tmp_path / "project" / "engine.lang"
    language_file.parent.mkdir(parents=True)
    language_file.write_bytes(crlf(*language_block({}), "Spanish", *language_block({89: "Idioma"}),
                                   "English", *language_block(english), "German", *language_block({89: "Sprache"})))
    project = languages_project(tmp_path / "project", ["Dutch", "German"], "German")
    project.extra_settings += "language-file = engine.lang\n"
    exe = build(builder, product_bin, tmp_path, project)
    engine = prefix.start(exe)
    form = ui.wait_window(cls="TSetLanguage", timeout=60)
    controls = children_by_id(ui, form)
    assert [form["text"], controls[3]["text"], controls[1]["text"], controls[2]["text"]] == \
        [english[89], english[90], english[38], english[39]]
    ui.click(controls[2]["hwnd"])
    assert engine.wait(timeout=120).exit_code == 0


def test_engine_texts_come_from_the_languages_shared_file(prefix, ui, builder, product_bin, tmp_path):
    block = [""] * 115
    block[19] = "Laufzeitfehler im Setup-Skript:"
    script = ("Set Variable\n  | P\n  | C:\\file.txt\n"
              "Extract Path\n  | P\n  | abc\n")  # a part code that is no number: a runtime error
    project = languages_project(tmp_path / "project", ["German"], "German", ask=False, script=script)
    project.support_files["shared.translations.German"] = crlf(*block)
    exe = build(builder, product_bin, tmp_path, project)

    engine = prefix.start(exe)
    box = ui.wait_window(title=f"^{TITLE} - Quillon Wizard$", cls="#32770", timeout=90)
    texts = [c["text"] for c in ui.windows(root=box["hwnd"], all=True)]
    assert "Laufzeitfehler im Setup-Skript:\r\rLine 2: 'abc' is not a valid integer value" in texts
    ui.click(ui.control(box["hwnd"], cls="Button", text="OK")["hwnd"])
    assert engine.wait(timeout=60).exit_code == 0
