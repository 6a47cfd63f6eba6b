// SetupAPI entry points over InfDocument. An HINF is the address of an OpenInf that is
// registered while open, so that a stale or foreign handle fails with ERROR_INVALID_HANDLE
// instead of being dereferenced.
#include "win/setupapi.h"

#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "inf_parser.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/threads.h"

namespace lumivel::setupapi {
namespace {

struct OpenInf {
    InfDocument document;
};

std::mutex g_openLock;
std::unordered_set<const void*>& OpenHandles() {
    static std::unordered_set<const void*> handles;
    return handles;
}

const OpenInf* Resolve(const void* handle) {
    std::lock_guard<std::mutex> lock(g_openLock);
    return OpenHandles().count(handle) ? static_cast<const OpenInf*>(handle) : nullptr;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() {
        if (valid()) CloseHandle(m_handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Reads the whole file; false with the last error set by the failing call.
bool ReadWholeFile(PCWSTR path, std::string& bytes) {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) bytes.reserve(static_cast<size_t>(size.QuadPart));
    constexpr DWORD kChunk = 1 << 20;
    std::string chunk(kChunk, '\0');
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk.data(), kChunk, &read, nullptr)) return false;
        if (read == 0) return true;
        bytes.append(chunk.data(), read);
    }
}

const InfLine* ResolveLine(const INFCONTEXT* context, const OpenInf*& inf) {
    inf = Resolve(context->CurrentInf);
    if (!inf) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const InfDocument& document = inf->document;
    if (context->Section >= document.SectionCount() ||
        context->Line >= document.Section(context->Section).lines.size()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return nullptr;
    }
    return &document.Section(context->Section).lines[context->Line];
}

}  // namespace
}  // namespace lumivel::setupapi

using namespace lumivel::setupapi;

extern "C" {

WINBASEAPI HINF SetupOpenInfFileW(PCWSTR FileName, PCWSTR InfClass, DWORD InfStyle, PUINT ErrorLine) {
    if (ErrorLine) *ErrorLine = 0;
    if (!FileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        std::string bytes;
        if (!ReadWholeFile(FileName, bytes)) return INVALID_HANDLE_VALUE;
        auto inf = std::make_unique<OpenInf>();
        InfParseResult parsed;
        {
            std::u16string text = DecodeInfBytes(bytes);
            std::string().swap(bytes);
            parsed = ParseInfText(text, inf->document);
        }
        if (parsed.error) {
            if (ErrorLine) *ErrorLine = parsed.errorLine;
            SetLastError(parsed.error);
            return INVALID_HANDLE_VALUE;
        }
        // Only the Windows 4 style is understood, so a legacy-only request cannot match.
        DWORD styleError = (InfStyle & INF_STYLE_WIN4)
                               ? CheckWin4Version(inf->document, InfClass ? std::u16string_view(InfClass)
                                                                          : std::u16string_view())
                               : static_cast<DWORD>(ERROR_WRONG_INF_STYLE);
        if (styleError) {
            SetLastError(styleError);
            return INVALID_HANDLE_VALUE;
        }
        OpenInf* handle = inf.release();
        {
            std::lock_guard<std::mutex> lock(g_openLock);
            OpenHandles().insert(handle);
        }
        SetLastError(ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

WINBASEAPI void SetupCloseInfFile(HINF InfHandle) {
    if (!InfHandle || InfHandle == INVALID_HANDLE_VALUE) return;
    {
        std::lock_guard<std::mutex> lock(g_openLock);
        if (!OpenHandles().erase(InfHandle)) return;
    }
    delete static_cast<OpenInf*>(InfHandle);
}

WINBASEAPI LONG SetupGetLineCountW(HINF InfHandle, PCWSTR Section) {
    const OpenInf* inf = Resolve(InfHandle);
    if (!inf) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    if (!Section) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    std::optional<size_t> section = inf->document.FindSection(Section);
    if (!section) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return -1;
    }
    size_t count = inf->document.Section(*section).lines.size();
    SetLastError(ERROR_SUCCESS);
    return count > static_cast<size_t>(std::numeric_limits<LONG>::max()) ? std::numeric_limits<LONG>::max()
                                                                          : static_cast<LONG>(count);
}

WINBASEAPI BOOL SetupGetLineByIndexW(HINF InfHandle, PCWSTR Section, DWORD Index, PINFCONTEXT Context) {
    const OpenInf* inf = Resolve(InfHandle);
    if (!inf) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!Section || !Context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<size_t> section = inf->document.FindSection(Section);
    if (!section || Index >= inf->document.Section(*section).lines.size()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    Context->Inf = InfHandle;
    Context->CurrentInf = InfHandle;
    Context->Section = static_cast<UINT>(*section);
    Context->Line = Index;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

WINBASEAPI BOOL SetupGetStringFieldW(PINFCONTEXT Context, DWORD FieldIndex, PWSTR ReturnBuffer,
                                     DWORD ReturnBufferSize, PDWORD RequiredSize) {
    if (!Context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const OpenInf* inf = nullptr;
    const InfLine* line = ResolveLine(Context, inf);
    if (!line) return FALSE;
    std::optional<std::u16string_view> field = inf->document.Field(*line, FieldIndex);
    if (!field) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (field->size() >= std::numeric_limits<DWORD>::max()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    DWORD required = static_cast<DWORD>(field->size() + 1);
    if (RequiredSize) *RequiredSize = required;
    if (ReturnBuffer) {
        if (ReturnBufferSize < required) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        field->copy(ReturnBuffer, field->size());
        ReturnBuffer[field->size()] = u'\0';
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
