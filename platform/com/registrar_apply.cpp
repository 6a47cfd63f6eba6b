// Applying registrar scripts to the registry, and the DllRegisterServer helpers.
#include <vector>

#include "lumivel/registrar.h"
#include "lumivel/text.h"
#include "registrar_script.h"
#include "registry_values.h"
#include "win/processes.h"
#include "win/resources.h"
#include "win/winerror.h"

namespace lumivel::com {

namespace {

using Values = std::vector<std::pair<std::u16string, RegistrarValue>>;

class Applier {
public:
    explicit Applier(std::u16string* error) : m_error(error) {}

    HRESULT registerAll(const std::vector<RegistrarRoot>& roots) {
        for (const RegistrarRoot& root : roots) {
            HRESULT hr = setValues(root.root, root.values, u"");
            for (size_t i = 0; SUCCEEDED(hr) && i < root.subkeys.size(); ++i)
                hr = registerKey(root.root, root.subkeys[i], root.subkeys[i].name);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    // Removes what the script names; keeps going past failures and reports the first.
    HRESULT unregisterAll(const std::vector<RegistrarRoot>& roots) {
        HRESULT first = S_OK;
        for (const RegistrarRoot& root : roots) {
            HRESULT hr = deleteValues(root.root, root.values);
            if (FAILED(hr) && SUCCEEDED(first)) first = hr;
            for (const RegistrarKey& key : root.subkeys) {
                hr = unregisterKey(root.root, key, key.name);
                if (FAILED(hr) && SUCCEEDED(first)) first = hr;
            }
        }
        return first;
    }

private:
    HRESULT failure(LSTATUS status, const char* what, const std::u16string& path) {
        if (m_error && m_error->empty()) {
            *m_error = std::u16string(what, what + std::char_traits<char>::length(what)) + u" '" + path + u"'";
        }
        return HRESULT_FROM_WIN32(DWORD(status));
    }

    HRESULT setValues(HKEY key, const Values& values, const std::u16string& path) {
        for (const auto& [name, value] : values) {
            LSTATUS status = RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, value.type,
                                            value.data.data(), DWORD(value.data.size()));
            if (status != ERROR_SUCCESS) return failure(status, "cannot set a value of", path);
        }
        return S_OK;
    }

    HRESULT registerKey(HKEY parent, const RegistrarKey& key, const std::u16string& path) {
        if (key.mode == RegistrarKey::Mode::Delete || key.mode == RegistrarKey::Mode::ForceRemove) {
            LSTATUS status = SHDeleteKeyW(parent, key.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                return failure(status, "cannot delete", path);
            if (key.mode == RegistrarKey::Mode::Delete) return S_OK;
        }
        RegistryKey handle;
        LSTATUS status = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ | KEY_WRITE, nullptr, handle.put(), nullptr);
        if (status != ERROR_SUCCESS) return failure(status, "cannot create", path);
        if (key.hasDefault) {
            status = RegSetValueExW(handle.get(), nullptr, 0, key.defaultValue.type, key.defaultValue.data.data(),
                                    DWORD(key.defaultValue.data.size()));
            if (status != ERROR_SUCCESS) return failure(status, "cannot set the default value of", path);
        }
        HRESULT hr = setValues(handle.get(), key.values, path);
        for (size_t i = 0; SUCCEEDED(hr) && i < key.subkeys.size(); ++i)
            hr = registerKey(handle.get(), key.subkeys[i], path + u"\\" + key.subkeys[i].name);
        return hr;
    }

    HRESULT deleteValues(HKEY key, const Values& values) {
        HRESULT first = S_OK;
        for (const auto& [name, value] : values) {
            LSTATUS status = RegDeleteValueW(key, name.empty() ? nullptr : name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(first))
                first = HRESULT_FROM_WIN32(DWORD(status));
        }
        return first;
    }

    HRESULT unregisterKey(HKEY parent, const RegistrarKey& key, const std::u16string& path) {
        switch (key.mode) {
            case RegistrarKey::Mode::Delete: return S_OK;
            case RegistrarKey::Mode::NoRemove: {
                RegistryKey handle;
                LSTATUS status = RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, handle.put());
                if (status == ERROR_FILE_NOT_FOUND) return S_OK;
                if (status != ERROR_SUCCESS) return failure(status, "cannot open", path);
                HRESULT first = deleteValues(handle.get(), key.values);
                for (const RegistrarKey& subkey : key.subkeys) {
                    HRESULT hr = unregisterKey(handle.get(), subkey, path + u"\\" + subkey.name);
                    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
                }
                return first;
            }
            default: {
                LSTATUS status = SHDeleteKeyW(parent, key.name.c_str());
                if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                    return failure(status, "cannot delete", path);
                return S_OK;
            }
        }
    }

    std::u16string* m_error;
};

// The script text of a REGISTRY resource: UTF-16LE after its byte-order mark, else UTF-8.
std::u16string DecodeScript(const BYTE* data, size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        std::u16string text((size - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(data[2 + 2 * i] | (data[3 + 2 * i] << 8));
        return text;
    }
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
}

bool ModulePath(HMODULE module, std::u16string* path) {
    std::vector<WCHAR> buffer(1024);
    for (int attempt = 0; attempt < 6; ++attempt) {
        DWORD length = GetModuleFileNameW(module, buffer.data(), DWORD(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            path->assign(buffer.data(), length);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
    return false;
}

}  // namespace

HRESULT ApplyRegistrarScript(std::u16string_view script, const RegistrarReplacement* replacements,
                             size_t replacementCount, RegistrarAction action, std::u16string* error) {
    if (error) error->clear();
    std::vector<RegistrarRoot> roots;
    HRESULT hr = ParseRegistrarScript(script, replacements, replacementCount, &roots, error);
    if (FAILED(hr)) return hr;
    Applier applier(error);
    if (action == RegistrarAction::Unregister) return applier.unregisterAll(roots);
    hr = applier.registerAll(roots);
    // Leave nothing half-registered behind.
    if (FAILED(hr)) Applier(nullptr).unregisterAll(roots);
    return hr;
}

HRESULT UpdateRegistryFromScript(HMODULE module, std::u16string_view script, RegistrarAction action,
                                 const RegistrarReplacement* replacements, size_t replacementCount) {
    std::u16string path;
    if (!ModulePath(module, &path)) return SELFREG_E_CLASS;
    std::vector<RegistrarReplacement> all;
    all.push_back({u"MODULE", path.c_str()});
    for (size_t i = 0; i < replacementCount; ++i) all.push_back(replacements[i]);
    HRESULT hr = ApplyRegistrarScript(script, all.data(), all.size(), action);
    return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}

HRESULT UpdateRegistryFromResource(HMODULE module, LPCWSTR resourceName, RegistrarAction action,
                                   const RegistrarReplacement* replacements, size_t replacementCount) {
    HRSRC resource = FindResourceW(module, resourceName, u"REGISTRY");
    if (!resource) return SELFREG_E_CLASS;
    HGLOBAL loaded = LoadResource(module, resource);
    DWORD size = SizeofResource(module, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return SELFREG_E_CLASS;
    std::u16string script = DecodeScript(static_cast<const BYTE*>(data), size);
    return UpdateRegistryFromScript(module, script, action, replacements, replacementCount);
}

}  // namespace lumivel::com
