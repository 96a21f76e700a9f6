// The 7z AES coder (method 06 F1 07 01): AES-256-CBC with a key made from the password by SHA-256 over
// (salt + UTF-16LE password + 64-bit little-endian counter), repeated 2^NumCyclesPower times.
#pragma once

#include "core/decoderRegistry.h"
#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qov {

// Answers the archive's password, or nothing when there is none to give.
using PasswordProvider = std::function<std::optional<std::u16string>()>;

// A function rather than a global, so registries built during static initialisation can use it.
const std::vector<std::uint8_t>& aesMethodId();

// What every password failure says: a wrong, missing or unusable password looks like an unreadable archive.
inline constexpr const char* wrongPasswordMessage =
    "The archive cannot be opened: unsupported archive or incorrect password";

// Key derivation refuses more rounds than this: 2^24 is seconds of work, 2^63 would be forever.
inline constexpr unsigned maxAesCyclesPower = 24;
// What one archive may spend on derivations across all its salts: real archives use a single key.
inline constexpr std::uint64_t defaultAesRoundBudget = std::uint64_t(1) << 26;

using AesKey = std::array<std::uint8_t, 32>;

AesKey deriveAesKey(std::u16string_view password, std::span<const std::uint8_t> salt, unsigned cyclesPower);

// The keys of one archive. The password is asked for at most once, when the first encrypted coder is
// met, and each (salt, cycles) is derived once however many folders share it.
class AesKeyring {
  public:
    explicit AesKeyring(PasswordProvider provider = {}, std::uint64_t roundBudget = defaultAesRoundBudget)
        : provider_(std::move(provider)), roundsLeft_(roundBudget) {}

    // CannotOpen when no password is given; UnsupportedMethod when the derivations would exceed the
    // round budget.
    const AesKey& key(std::span<const std::uint8_t> salt, unsigned cyclesPower);

  private:
    PasswordProvider provider_;
    bool asked_ = false;
    std::optional<std::u16string> password_;
    std::map<std::pair<std::vector<std::uint8_t>, unsigned>, AesKey> keys_;
    std::uint64_t roundsLeft_;
};

std::unique_ptr<InStream> makeAesDecoder(const CoderInfo& coder,
                                         std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize,
                                         AesKeyring& keys);

// The AES factory for a registry; every coder it makes takes its keys from `keys`.
DecoderFactory aesDecoderFactory(std::shared_ptr<AesKeyring> keys);

bool isEncrypted(const FolderInfo& folder);

// Behind a wrong key every later check sees garbage, so the stream of an encrypted folder reports data
// that proves damaged as a wrong password (CannotOpen).
std::unique_ptr<InStream> reportingDamageAsWrongPassword(std::unique_ptr<InStream> stream);

} // namespace qov
