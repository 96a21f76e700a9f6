#include "core/aesDecoder.h"

#include "core/aes256.h"
#include "core/archiveError.h"
#include "core/sha256.h"

#include <algorithm>

namespace qov {

namespace {

constexpr std::size_t bufferBlocks = 4096;

struct AesProperties {
    unsigned cyclesPower = 0;
    std::vector<std::uint8_t> salt;
    Aes256Decryptor::Block iv{}; // a shorter stored IV is padded with zeros
};

// First byte: NumCyclesPower in the low six bits, bit 7 "salt present", bit 6 "IV present". When either
// is present a second byte adds to their sizes (salt in the high nibble, IV in the low), then the salt
// and the IV follow.
AesProperties parseProperties(std::span<const std::uint8_t> properties) {
    if (properties.empty()) damaged("AES coder without properties");
    AesProperties parsed;
    const std::uint8_t first = properties[0];
    parsed.cyclesPower = first & 0x3F;
    std::size_t saltSize = 0;
    std::size_t ivSize = 0;
    std::size_t used = 1;
    if (first & 0xC0) {
        if (properties.size() < 2) damaged("AES coder properties are truncated");
        saltSize = ((first >> 7) & 1) + (properties[1] >> 4);
        ivSize = ((first >> 6) & 1) + (properties[1] & 0x0F);
        used = 2;
    }
    if (properties.size() != used + saltSize + ivSize) damaged("AES coder properties have the wrong size");
    parsed.salt.assign(properties.begin() + used, properties.begin() + used + saltSize);
    std::copy_n(properties.begin() + used + saltSize, ivSize, parsed.iv.begin());
    if (parsed.cyclesPower > maxAesCyclesPower)
        fail(ErrorCode::UnsupportedMethod,
             "AES key derivation with 2^" + std::to_string(parsed.cyclesPower) + " rounds is not supported");
    return parsed;
}

class AesDecoder : public InStream {
  public:
    AesDecoder(std::unique_ptr<InStream> input, std::uint64_t size, const AesKey& key,
               const Aes256Decryptor::Block& iv)
        : input_(std::move(input)), cipher_(key), chain_(iv), left_(size),
          blocksLeft_(size / Aes256Decryptor::blockSize + (size % Aes256Decryptor::blockSize != 0)),
          buffer_(bufferBlocks * Aes256Decryptor::blockSize) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        if (left_ == 0 || buffer.empty()) return 0;
        if (position_ == filled_) refill();
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>({buffer.size(), filled_ - position_, left_}));
        std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        left_ -= count;
        return count;
    }

  private:
    // Data is encrypted in whole blocks; the bytes past the coder's size in the last block are padding.
    void refill() {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(bufferBlocks, blocksLeft_)) *
            Aes256Decryptor::blockSize;
        const auto chunk = std::span(buffer_).first(want);
        for (std::size_t got = 0; got < want;) {
            const std::size_t n = input_->read(chunk.subspan(got));
            if (n == 0) damaged("encrypted data ends inside its last block");
            got += n;
        }
        cipher_.decryptCbc(chunk, chain_);
        blocksLeft_ -= want / Aes256Decryptor::blockSize;
        position_ = 0;
        filled_ = want;
    }

    std::unique_ptr<InStream> input_;
    Aes256Decryptor cipher_;
    Aes256Decryptor::Block chain_;
    std::uint64_t left_;
    std::uint64_t blocksLeft_;
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
};

template <typename Action> auto damageAsWrongPassword(Action&& action) {
    try {
        return action();
    } catch (const ArchiveError& error) {
        if (error.code() != ErrorCode::DamagedArchive) throw;
        fail(ErrorCode::CannotOpen, wrongPasswordMessage);
    }
}

class DamageAsWrongPassword : public InStream {
  public:
    explicit DamageAsWrongPassword(std::unique_ptr<InStream> inner) : inner_(std::move(inner)) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        return damageAsWrongPassword([&] { return inner_->read(buffer); });
    }
    std::uint64_t skip(std::uint64_t count) override {
        return damageAsWrongPassword([&] { return inner_->skip(count); });
    }

  private:
    std::unique_ptr<InStream> inner_;
};

} // namespace

AesKey deriveAesKey(std::u16string_view password, std::span<const std::uint8_t> salt, unsigned cyclesPower) {
    // One contiguous round input, its counter rewritten in place, keeps the hot loop to one update.
    std::vector<std::uint8_t> round(salt.begin(), salt.end());
    for (char16_t c : password) {
        round.push_back(static_cast<std::uint8_t>(c & 0xFF));
        round.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    const std::size_t counterAt = round.size();
    round.resize(counterAt + 8);
    Sha256 hash;
    const std::uint64_t count = std::uint64_t(1) << cyclesPower;
    for (std::uint64_t i = 0; i < count; ++i) {
        for (int k = 0; k < 8; ++k)
            round[counterAt + k] = static_cast<std::uint8_t>(i >> (8 * k));
        hash.update(round);
    }
    return hash.finish();
}

const AesKey& AesKeyring::key(std::span<const std::uint8_t> salt, unsigned cyclesPower) {
    auto slot = std::make_pair(std::vector(salt.begin(), salt.end()), cyclesPower);
    if (const auto found = keys_.find(slot); found != keys_.end()) return found->second;
    if (!asked_) {
        asked_ = true;
        if (provider_) password_ = provider_();
    }
    if (!password_) fail(ErrorCode::CannotOpen, wrongPasswordMessage);
    const std::uint64_t rounds = std::uint64_t(1) << cyclesPower;
    if (rounds > roundsLeft_)
        fail(ErrorCode::UnsupportedMethod, "the archive asks for too many AES key derivations");
    roundsLeft_ -= rounds;
    return keys_.emplace(std::move(slot), deriveAesKey(*password_, salt, cyclesPower)).first->second;
}

std::unique_ptr<InStream> makeAesDecoder(const CoderInfo& coder,
                                         std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize,
                                         AesKeyring& keys) {
    if (coder.inStreams != 1 || coder.outStreams != 1 || inputs.size() != 1)
        damaged("AES coder with more than one stream");
    const AesProperties properties = parseProperties(coder.properties);
    const AesKey& key = keys.key(properties.salt, properties.cyclesPower);
    return std::make_unique<AesDecoder>(std::move(inputs.front()), outSize, key, properties.iv);
}

DecoderFactory aesDecoderFactory(std::shared_ptr<AesKeyring> keys) {
    return [keys = std::move(keys)](const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs,
                                    std::uint64_t outSize) {
        return makeAesDecoder(coder, std::move(inputs), outSize, *keys);
    };
}

const std::vector<std::uint8_t>& aesMethodId() {
    static const std::vector<std::uint8_t> id{0x06, 0xF1, 0x07, 0x01};
    return id;
}

bool isEncrypted(const FolderInfo& folder) {
    return std::any_of(folder.coders.begin(), folder.coders.end(),
                       [](const CoderInfo& coder) { return coder.methodId == aesMethodId(); });
}

std::unique_ptr<InStream> reportingDamageAsWrongPassword(std::unique_ptr<InStream> stream) {
    return std::make_unique<DamageAsWrongPassword>(std::move(stream));
}

} // namespace qov
