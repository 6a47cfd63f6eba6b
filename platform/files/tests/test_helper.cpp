// A child program for the file, process and registry tests.
//   args A B ...          prints each argument as [A]
//   exit N                exits with N
//   sleep MS              sleeps, then exits 0
//   hold PATH MS          opens PATH without sharing, prints "held", keeps it open MS ms
//   write-values KEY PREFIX N [GO]   writes N REG_DWORD values under HKCU\KEY (once the file GO
//                         exists, so that several writers start together), exits with the failures
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lumivel/text.h"
#include "win/winbase.h"

int main(int argc, char** argv) {
    if (argc < 2) return 100;
    std::string command = argv[1];
    if (command == "args") {
        for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
        return 0;
    }
    if (command == "exit" && argc == 3) return std::atoi(argv[2]);
    if (command == "sleep" && argc == 3) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    if (command == "hold" && argc == 4) {
        std::u16string path = lumivel::FromUtf8(argv[2]);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::printf("failed %u\n", GetLastError());
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(argv[3])));
        CloseHandle(file);
        return 0;
    }
    if (command == "write-values" && (argc == 5 || argc == 6)) {
        std::u16string key = lumivel::FromUtf8(argv[2]), prefix = lumivel::FromUtf8(argv[3]);
        if (argc == 6) {
            std::u16string go = lumivel::FromUtf8(argv[5]);
            for (int waited = 0; GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++waited) {
                if (waited > 30000) return 102;
                Sleep(1);
            }
        }
        int count = std::atoi(argv[4]);
        HKEY handle = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr))
            return 101;
        int failures = 0;
        for (int i = 0; i < count; ++i) {
            std::u16string name = prefix + lumivel::FromUtf8(std::to_string(i));
            DWORD value = static_cast<DWORD>(i);
            if (RegSetValueExW(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4)) ++failures;
        }
        RegCloseKey(handle);
        return failures > 99 ? 99 : failures;
    }
    return 100;
}
