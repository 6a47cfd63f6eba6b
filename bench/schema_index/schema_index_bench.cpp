// Times Taxonis writing both schema index files into an empty folder (so that it always walks
// the schema) against ldapsearch reading the same schema and extended-rights objects with the
// same attributes, and prints both times and their ratio. Each side runs several times,
// alternating; the best run of each counts.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kRuns = 5;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string ProgramDirectory() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string text(path, static_cast<size_t>(n));
    return text.substr(0, text.rfind('/'));
}

// Returns the size of the two files written, or 0 on failure.
uintmax_t RunTaxonis(const std::string& program) {
    char pattern[] = "/tmp/schema-index-bench-XXXXXX";
    const char* folder = mkdtemp(pattern);
    if (!folder) return 0;
    const std::string directory = std::string(folder) + "/";
    uintmax_t bytes = 0;
    if (std::system(("'" + program + "' '" + directory + "'").c_str()) == 0) {
        std::error_code classError, attributeError;
        const uintmax_t classes = std::filesystem::file_size(directory + "ClassIndex.txt", classError);
        const uintmax_t attributes = std::filesystem::file_size(directory + "AttributeIndex.txt", attributeError);
        if (!classError && !attributeError) bytes = classes + attributes;
    }
    std::filesystem::remove_all(folder);
    return bytes;
}

bool RunLdapsearch(const std::string& dc, const std::string& configuration) {
    const std::string common = "ldapsearch -LLL -Q -Y GSSAPI -N -o ldif-wrap=no -H ldap://" + dc +
                               " -s one -E pr=1000/noprompt ";
    const std::string schema = common + "-b 'CN=Schema," + configuration +
                               "' '(|(objectClass=classSchema)(objectClass=attributeSchema))' "
                               "objectClass cn lDAPDisplayName schemaIDGUID possibleInferiors > /dev/null";
    const std::string rights = common + "-b 'CN=Extended-Rights," + configuration +
                               "' '(objectClass=*)' cn displayName rightsGuid > /dev/null";
    return std::system(schema.c_str()) == 0 && std::system(rights.c_str()) == 0;
}

}  // namespace

int main() {
    const char* base = std::getenv("TESTDC_BASEDN");
    const char* dc = std::getenv("TESTDC_DC");
    if (!base || !dc) {
        std::fprintf(stderr, "run inside the test directory: tests/testdc/testdc exec %s\n", "schema_index_bench");
        return 2;
    }
    const std::string configuration = std::string("CN=Configuration,") + base;
    const std::string program = ProgramDirectory() + "/Taxonis";
    uintmax_t bytes = RunTaxonis(program);
    if (bytes == 0 || !RunLdapsearch(dc, configuration)) {
        std::fprintf(stderr, "the generator or ldapsearch failed\n");
        return 1;
    }
    double bestTaxonis = 1e9, bestLdapsearch = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        if (RunTaxonis(program) != bytes) return 1;
        bestTaxonis = std::min(bestTaxonis, Seconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        if (!RunLdapsearch(dc, configuration)) return 1;
        bestLdapsearch = std::min(bestLdapsearch, Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("index files written:    %ju bytes\n", bytes);
    std::printf("Taxonis:                %.3f s (best of %d)\n", bestTaxonis, kRuns);
    std::printf("ldapsearch:             %.3f s (best of %d, schema and extended rights)\n", bestLdapsearch, kRuns);
    std::printf("ratio:                  %.3f (target <= 2.00)\n", bestTaxonis / bestLdapsearch);
    return 0;
}
