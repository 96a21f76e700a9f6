#include "core/decoderRegistry.h"

#include "core/aesDecoder.h"
#include "core/bcj2Decoder.h"
#include "core/branchFilters.h"
#include "core/bzip2Decoder.h"
#include "core/copyDecoder.h"
#include "core/deflateDecoder.h"
#include "core/deltaFilter.h"
#include "core/lzma2Decoder.h"
#include "core/lzmaDecoder.h"
#include "core/ppmdDecoder.h"

namespace qov {

const DecoderRegistry& DecoderRegistry::builtin() {
    static const DecoderRegistry registry = [] {
        DecoderRegistry r;
        r.add({0x00}, makeCopyDecoder);
        // No password here: an archive binds AES to its own password source.
        r.add(aesMethodId(), aesDecoderFactory(std::make_shared<AesKeyring>()));
        r.add({0x03, 0x01, 0x01}, makeLzmaDecoder);
        r.add({0x21}, makeLzma2Decoder);
        r.add({0x04, 0x01, 0x08}, makeDeflateDecoder);
        r.add({0x04, 0x01, 0x09}, makeDeflate64Decoder);
        r.add({0x04, 0x02, 0x02}, makeBZip2Decoder);
        r.add({0x03, 0x04, 0x01}, makePpmdDecoder);
        r.add({0x03}, makeDeltaDecoder);
        r.add({0x03, 0x03, 0x01, 0x03}, branchFilterFactory(BranchArch::X86));
        r.add({0x03, 0x03, 0x01, 0x1B}, makeBcj2Decoder);
        r.add({0x03, 0x03, 0x02, 0x05}, branchFilterFactory(BranchArch::PowerPc));
        r.add({0x03, 0x03, 0x04, 0x01}, branchFilterFactory(BranchArch::Ia64));
        r.add({0x03, 0x03, 0x05, 0x01}, branchFilterFactory(BranchArch::Arm));
        r.add({0x03, 0x03, 0x07, 0x01}, branchFilterFactory(BranchArch::ArmThumb));
        r.add({0x03, 0x03, 0x08, 0x05}, branchFilterFactory(BranchArch::Sparc));
        r.add({0x0A}, branchFilterFactory(BranchArch::Arm64));
        r.add({0x0B}, branchFilterFactory(BranchArch::RiscV));
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
