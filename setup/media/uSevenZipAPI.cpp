#include "uSevenZipAPI.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

namespace quillon {

namespace {

// The password a wrapper call hands to the library once, on the library's first request. The engine
// never runs two wrapper calls at once, so one slot serves the process.
std::string rememberedPassword;
bool passwordRemembered = false;
bool overwriteAnswer = true;

void rememberPassword(const std::string& password) {
    rememberedPassword = password;
    passwordRemembered = true;
}

int QOV_API defaultPassword(char* buffer) {
    if (!passwordRemembered) return 0;
    size_t length = std::min<size_t>(rememberedPassword.size(), QovPasswordBufferSize - 1);
    std::memcpy(buffer, rememberedPassword.data(), length);
    buffer[length] = '\0';
    rememberedPassword.clear();
    passwordRemembered = false;
    return 1;
}

int QOV_API defaultProgress(const char*, uint32_t, uint32_t, uint32_t, uint32_t) {
    return 1;
}
int QOV_API defaultSecond(uint32_t, uint32_t) {
    return 1;
}
int QOV_API defaultOverwrite(const char*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                             uint32_t, uint32_t, uint32_t) {
    return overwriteAnswer ? QovOverwrite : QovKeepExisting;
}

std::string listFailureText(int32_t code) {
    switch (code) {
    case QovArchiveNotFound:
        return "The archive file was not found";
    case QovIllegalWildcardPath:
        return "Illegal path used in a wildcard expression";
    case QovCannotOpen:
        return "The archive cannot be opened: unsupported archive or incorrect password";
    default:
        return "General failure opening archive";
    }
}

} // namespace

bool SevenZipList(const std::string& archive, const std::string& password, std::string& errorText,
                  QovPasswordCallback passwordCallback, std::vector<std::string>& names) {
    errorText.clear();
    names.clear();
    try {
        if (!passwordCallback) {
            rememberPassword(password);
            passwordCallback = defaultPassword;
        }
        QovListEntry* entries = nullptr;
        uint32_t count = 0;
        void* listing = OpenListArchive(archive.c_str(), 0, passwordCallback, 0, 0, 0, password.c_str(),
                                        &entries, &count);
        if (!listing) {
            errorText = listFailureText(GetLastArchiveError(0));
            return false;
        }
        auto* entry = reinterpret_cast<const unsigned char*>(entries);
        for (uint32_t i = 0; i < count; ++i, entry += sizeof(QovListEntry))
            names.emplace_back(reinterpret_cast<const QovListEntry*>(entry)->path);
        CloseListArchive(listing);
        return true;
    } catch (const std::exception& e) {
        errorText = e.what();
        return false;
    }
}

bool SevenZipExtract(const std::string& archive, const std::string& password, const std::string& destination,
                     bool optionFlag, bool overwriteMode, std::string& errorText,
                     const std::vector<std::string>* names, SevenZipCallbacks callbacks) {
    errorText.clear();
    try {
        std::vector<std::string> allNames;
        if (!names) {
            if (!SevenZipList(archive, password, errorText, callbacks.password, allNames)) return false;
            names = &allNames;
        }
        std::vector<std::unique_ptr<char[]>> buffers;
        std::vector<char*> pointers;
        for (const auto& name : *names) {
            auto buffer = std::make_unique<char[]>(name.size() + 1);
            std::memcpy(buffer.get(), name.c_str(), name.size() + 1);
            pointers.push_back(buffer.get());
            buffers.push_back(std::move(buffer));
        }
        TSZW_TARGETFILES targets{pointers.data(), static_cast<uint32_t>(pointers.size())};

        if (!callbacks.progress) callbacks.progress = defaultProgress;
        if (!callbacks.second) callbacks.second = defaultSecond;
        if (!callbacks.overwrite) {
            overwriteAnswer = overwriteMode;
            callbacks.overwrite = defaultOverwrite;
        }
        if (!callbacks.password) {
            rememberPassword(password);
            callbacks.password = defaultPassword;
        }
        int ok =
            ExtractArchive(archive.c_str(), 1, destination.c_str(), &targets,
                           optionFlag ? QovRestoreAttributes : QovPlainFiles, password.c_str(),
                           callbacks.password, callbacks.progress, callbacks.second, callbacks.overwrite);
        if (!ok) {
            errorText = "#" + std::to_string(GetLastArchiveError(0));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        errorText = e.what();
        return false;
    }
}

} // namespace quillon
