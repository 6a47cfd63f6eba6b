// The keytabs kept for accounts are read by the Kerberos library as written.
#include <gtest/gtest.h>
#include <krb5.h>

#include <string>

#include "../keytab_file.h"
#include "tests/support/temporary_directory.h"

namespace lumivel::scheduler {
namespace {

TEST(KeytabFile, TheKerberosLibraryReadsEveryEntry) {
    KeytabEntry aes;
    aes.realm = "LUMIVEL.TEST";
    aes.components = {"Ann Smith"};
    aes.timestamp = 1773000000;
    aes.version = 300;  // past what the 8-bit field holds
    aes.encryptionType = ENCTYPE_AES256_CTS_HMAC_SHA1_96;
    aes.key.assign(32, 0xA5);
    KeytabEntry rc4 = aes;
    rc4.components = {"host", "dc1.lumivel.test"};
    rc4.version = 2;
    rc4.encryptionType = ENCTYPE_ARCFOUR_HMAC;
    rc4.key.assign(16, 0x3C);
    const std::vector<uint8_t> bytes = EncodeKeytab({aes, rc4});

    lumivel::testing::TemporaryDirectory folder("keytab-test");
    const std::string path = folder.path() + "/keytab";
    lumivel::testing::WriteText(path, std::string(bytes.begin(), bytes.end()));

    krb5_context context = nullptr;
    ASSERT_EQ(krb5_init_context(&context), 0);
    krb5_keytab keytab = nullptr;
    ASSERT_EQ(krb5_kt_resolve(context, (std::string("FILE:") + path).c_str(), &keytab), 0);
    krb5_kt_cursor cursor;
    ASSERT_EQ(krb5_kt_start_seq_get(context, keytab, &cursor), 0);
    std::vector<std::string> seen;
    krb5_keytab_entry entry;
    while (krb5_kt_next_entry(context, keytab, &entry, &cursor) == 0) {
        char* name = nullptr;
        krb5_unparse_name(context, entry.principal, &name);
        seen.push_back(std::string(name) + " " + std::to_string(entry.vno) + " " + std::to_string(entry.key.enctype) +
                       " " + std::to_string(entry.key.length) + " " + std::to_string(entry.key.contents[0]));
        krb5_free_unparsed_name(context, name);
        krb5_free_keytab_entry_contents(context, &entry);
    }
    krb5_kt_end_seq_get(context, keytab, &cursor);
    krb5_kt_close(context, keytab);
    krb5_free_context(context);
    EXPECT_EQ(seen, (std::vector<std::string>{"Ann Smith@LUMIVEL.TEST 300 18 32 165",
                                              "host/dc1.lumivel.test@LUMIVEL.TEST 2 23 16 60"}));
}

}  // namespace
}  // namespace lumivel::scheduler
