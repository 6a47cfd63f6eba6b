// Resources of a module loaded with dlopen: found under the module's handle while it is
// loaded, gone once it is unloaded, never mixed with the main program's.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "win/errors.h"
#include "win/resources.h"

namespace {

HMODULE HandleOf(void* symbol) {
    Dl_info info{};
    dladdr(symbol, &info);
    return reinterpret_cast<HMODULE>(info.dli_fbase);
}

TEST(ModuleResources, RegisteredWhileLoaded) {
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    std::string path = std::string(bin ? bin : ".") + "/resources_test_module.so";
    void* library = dlopen(path.c_str(), RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    HMODULE module = HandleOf(dlsym(library, "ResourceTestModuleAnchor"));
    ASSERT_NE(module, nullptr);

    WCHAR text[32];
    ASSERT_EQ(LoadStringW(module, 1, text, 32), 15);
    EXPECT_EQ(std::u16string(text), u"from the module");
    EXPECT_EQ(LoadStringW(nullptr, 1, text, 32), 13) << "the main program keeps its own string 1";
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(5), RT_GROUP_ICON), nullptr) << "icon body from a file";
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(202), RT_MENU), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));

    ASSERT_EQ(dlclose(library), 0);
    SetLastError(0);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(1), RT_STRING), nullptr) << "no stale table after unloading";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(LoadStringW(module, 1, text, 32), 0);
}

}  // namespace
