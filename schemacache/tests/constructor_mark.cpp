// A shared object that leaves a mark when its constructors run: the icon tests name it as a
// class's icon module to see whether the cache ever loads such a file.
#include <cstdio>
#include <cstdlib>

__attribute__((constructor)) static void LeaveMark() {
    if (const char* path = std::getenv("GLOSSAR_TEST_MARK"))
        if (std::FILE* file = std::fopen(path, "w")) std::fclose(file);
}
