#include "core/decoderRegistry.h"

#include "core/copyDecoder.h"

namespace qov {

const DecoderRegistry& DecoderRegistry::builtin() {
    static const DecoderRegistry registry = [] {
        DecoderRegistry r;
        r.add({0x00}, makeCopyDecoder);
        return r;
    }();
    return registry;
}

void DecoderRegistry::add(std::vector<std::uint8_t> methodId, DecoderFactory factory) {
    factories_[std::move(methodId)] = std::move(factory);
}

const DecoderFactory* DecoderRegistry::find(std::span<const std::uint8_t> methodId) const {
    // Copy is sometimes written with an empty id.
    static const std::vector<std::uint8_t> copyId{0x00};
    const std::vector<std::uint8_t> key =
        methodId.empty() ? copyId : std::vector(methodId.begin(), methodId.end());
    const auto it = factories_.find(key);
    return it == factories_.end() ? nullptr : &it->second;
}

} // namespace qov
