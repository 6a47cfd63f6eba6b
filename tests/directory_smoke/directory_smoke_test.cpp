// First contact with the test domain controller, straight through libldap: proves that the
// harness hands tests a real directory that takes a sealed Kerberos bind, serves a rootDSE
// and returns the seeded tombstones only under the show-deleted control. The same listing
// through the platform's ADSI layer must agree with it entry for entry.
#include <gtest/gtest.h>

#define LDAP_DEPRECATED 0
#include <ldap.h>
#include <sasl/sasl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/text.h"
#include "win/adsi.h"
#include "win/com.h"
#include "win/dserror.h"

namespace {

constexpr const char* kShowDeletedOid = "1.2.840.113556.1.4.417";
constexpr const char* kPagedResultsOid = "1.2.840.113556.1.4.319";
constexpr const char* kDeletedObjectsWkGuid = "18e2ea80684f11d2b9aa00c04f79f805";
constexpr int kPageSize = 1000;

std::string env_or_empty(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// ---------------------------------------------------------------- seed facts

struct Fact {
  std::string key, cls, rdn, name, parent, sam, flags;
  bool deleted = false;
  bool parent_deleted = false;
};

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> out;
  std::string::size_type start = 0;
  for (;;) {
    auto tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return out;
    start = tab + 1;
  }
}

// Reads the facts file the harness seeded from; an unreadable or malformed file is a test
// failure, never an empty list that would let every check pass.
std::vector<Fact> read_facts(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read the seed facts " << path;
  std::vector<Fact> facts;
  std::vector<std::string> header;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto f = split_tabs(line);
    if (header.empty()) {
      header = f;
      continue;
    }
    if (f.size() != header.size()) {
      ADD_FAILURE() << "malformed facts line: " << line;
      continue;
    }
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < f.size(); ++i) row[header[i]] = f[i];
    Fact fact{row["key"], row["class"], row["rdn"], row["name"], row["parent"], row["sam"], row["flags"]};
    fact.deleted = row["deleted"] == "1";
    fact.parent_deleted = row["parent_deleted"] == "1";
    facts.push_back(fact);
  }
  if (facts.empty()) ADD_FAILURE() << "no facts in " << path;
  return facts;
}

std::string escape_rdn_value(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    char c = v[i];
    bool special = std::string_view(",+\"\\<>;=").find(c) != std::string_view::npos;
    bool edge = (i == 0 && (c == ' ' || c == '#')) || (i + 1 == v.size() && c == ' ');
    if (special || edge) out += '\\';
    out += c;
  }
  return out;
}

std::string parent_dn(const Fact& f, const std::string& base) {
  return f.parent == "-" ? base : f.parent + "," + base;
}

// The unescaped value of a DN's first RDN ("OU=Apollo\, Phase 2,OU=..." gives "Apollo, Phase 2").
std::string first_rdn_value(const std::string& dn) {
  std::string out;
  size_t i = dn.find('=');
  for (i = i == std::string::npos ? dn.size() : i + 1; i < dn.size() && dn[i] != ','; ++i) {
    if (dn[i] == '\\' && i + 1 < dn.size()) ++i;
    out += dn[i];
  }
  return out;
}

// ---------------------------------------------------------------- libldap with RAII

struct LdapUnbind {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
struct LdapMsgFree {
  void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
struct LdapControlFree {
  void operator()(LDAPControl* c) const { ldap_control_free(c); }
};
struct LdapControlsFree {
  void operator()(LDAPControl** c) const { ldap_controls_free(c); }
};
using LdapPtr = std::unique_ptr<LDAP, LdapUnbind>;
using LdapMessagePtr = std::unique_ptr<LDAPMessage, LdapMsgFree>;
using LdapControlPtr = std::unique_ptr<LDAPControl, LdapControlFree>;

// GSSAPI needs no answers from us: the identity is the credential cache's principal.
int sasl_quiet(LDAP*, unsigned, void*, void* interact) {
  for (auto* in = static_cast<sasl_interact_t*>(interact); in->id != SASL_CB_LIST_END; ++in) {
    in->result = in->defresult ? in->defresult : "";
    in->len = static_cast<unsigned>(std::string_view(static_cast<const char*>(in->result)).size());
  }
  return LDAP_SUCCESS;
}

struct Entry {
  std::string dn;
  std::map<std::string, std::vector<std::string>> values;  // attribute names in lower case

  std::string last(const std::string& attr) const {
    auto it = values.find(attr);
    return it == values.end() || it->second.empty() ? "" : it->second.back();
  }
};

std::vector<Entry> collect(LDAP* ld, LDAPMessage* res) {
  std::vector<Entry> out;
  for (LDAPMessage* e = ldap_first_entry(ld, res); e; e = ldap_next_entry(ld, e)) {
    Entry entry;
    if (char* dn = ldap_get_dn(ld, e)) {
      entry.dn = dn;
      ldap_memfree(dn);
    }
    BerElement* ber = nullptr;
    for (char* a = ldap_first_attribute(ld, e, &ber); a; a = ldap_next_attribute(ld, e, ber)) {
      if (berval** vals = ldap_get_values_len(ld, e, a)) {
        auto& list = entry.values[lower(a)];
        for (int i = 0; vals[i]; ++i) list.emplace_back(vals[i]->bv_val, vals[i]->bv_len);
        ldap_value_free_len(vals);
      }
      ldap_memfree(a);
    }
    if (ber) ber_free(ber, 0);
    out.push_back(std::move(entry));
  }
  return out;
}

class TestDirectory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dc = env_or_empty("TESTDC_DC");
    s_base = env_or_empty("TESTDC_BASEDN");
    s_facts_path = env_or_empty("TESTDC_FACTS");
  }

  void SetUp() override {
    ASSERT_FALSE(s_dc.empty() || s_base.empty() || s_facts_path.empty())
        << "TESTDC_DC, TESTDC_BASEDN and TESTDC_FACTS are unset: run through tests/testdc/testdc exec";
    LDAP* raw = nullptr;
    ASSERT_EQ(ldap_initialize(&raw, ("ldap://" + s_dc).c_str()), LDAP_SUCCESS);
    m_ld.reset(raw);
    int version = LDAP_VERSION3;
    ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(raw, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    timeval timeout{10, 0};
    ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    ldap_set_option(raw, LDAP_OPT_TIMEOUT, &timeout);
    // The DC refuses writes over unprotected binds; demand a sealing layer up front.
    ASSERT_EQ(ldap_set_option(raw, LDAP_OPT_X_SASL_SECPROPS, "minssf=56"), LDAP_SUCCESS);
    int rc = ldap_sasl_interactive_bind_s(raw, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                          sasl_quiet, nullptr);
    ASSERT_EQ(rc, LDAP_SUCCESS) << "GSSAPI bind to " << s_dc << ": " << ldap_err2string(rc);
  }

  // One search, paged, with or without the show-deleted control.
  std::vector<Entry> search(const std::string& base, int scope, const std::string& filter,
                            std::vector<const char*> attrs, bool show_deleted, int* result = nullptr) {
    attrs.push_back(nullptr);
    std::vector<Entry> entries;
    berval cookie{0, nullptr};
    struct CookieFree {
      berval& c;
      ~CookieFree() { ber_memfree(c.bv_val); }
    } cookie_owner{cookie};
    int pages = 0;
    for (;;) {
      LDAPControl* page_raw = nullptr;
      EXPECT_EQ(ldap_create_page_control(m_ld.get(), kPageSize, cookie.bv_val ? &cookie : nullptr, 0, &page_raw),
                LDAP_SUCCESS);
      LdapControlPtr page(page_raw);
      LDAPControl show{const_cast<char*>(kShowDeletedOid), {0, nullptr}, 1};
      std::vector<LDAPControl*> controls{page.get()};
      if (show_deleted) controls.push_back(&show);
      controls.push_back(nullptr);
      LDAPMessage* res_raw = nullptr;
      int rc = ldap_search_ext_s(m_ld.get(), base.c_str(), scope, filter.c_str(), const_cast<char**>(attrs.data()),
                                 0, controls.data(), nullptr, nullptr, 0, &res_raw);
      LdapMessagePtr res(res_raw);
      if (result) *result = rc;
      if (rc != LDAP_SUCCESS) {
        if (!result) ADD_FAILURE() << "search of " << base << ": " << ldap_err2string(rc);
        return entries;
      }
      auto page_entries = collect(m_ld.get(), res.get());
      entries.insert(entries.end(), page_entries.begin(), page_entries.end());

      LDAPControl** returned = nullptr;
      int err = 0;
      ldap_parse_result(m_ld.get(), res.get(), &err, nullptr, nullptr, nullptr, &returned, 0);
      std::unique_ptr<LDAPControl*, LdapControlsFree> returned_owner(returned);
      LDAPControl* page_reply = returned ? ldap_control_find(kPagedResultsOid, returned, nullptr) : nullptr;
      if (!page_reply) return entries;
      ber_int_t estimate = 0;
      berval next{0, nullptr};
      if (ldap_parse_pageresponse_control(m_ld.get(), page_reply, &estimate, &next) != LDAP_SUCCESS ||
          next.bv_len == 0) {
        ber_memfree(next.bv_val);
        return entries;
      }
      if (++pages > 100'000) {
        ADD_FAILURE() << "paging of " << base << " does not end";
        ber_memfree(next.bv_val);
        return entries;
      }
      ber_memfree(cookie.bv_val);
      cookie = next;
    }
  }

  std::string deleted_objects_base() const {
    return std::string("<WKGUID=") + kDeletedObjectsWkGuid + "," + s_base + ">";
  }

  LdapPtr m_ld;
  static inline std::string s_dc, s_base, s_facts_path;
};

// ---------------------------------------------------------------- the platform's ADSI layer

struct Listed {
  std::string cls, parent;
  bool operator==(const Listed&) const = default;
};

std::string column_text(IDirectorySearch* search, ADS_SEARCH_HANDLE handle, const char16_t* name, bool last) {
  ADS_SEARCH_COLUMN column{};
  if (search->GetColumn(handle, const_cast<LPWSTR>(name), &column) != S_OK) return "";
  std::string text;
  if (column.dwNumValues > 0) {
    const ADSVALUE& v = column.pADsValues[last ? column.dwNumValues - 1 : 0];
    LPCWSTR value = v.dwType == ADSTYPE_DN_STRING ? v.DNString : v.CaseIgnoreString;
    if (value) text = lumivel::ToUtf8(value);
  }
  search->FreeColumn(&column);
  return text;
}

// The one-level listing of Deleted Objects as the product asks for it: sealed Kerberos bind
// without reading the hidden container itself, tombstone preference, paged. Keys are the DNs
// in lower case.
HRESULT adsi_listing(const std::string& base_dn, bool tombstones, int page_size, std::map<std::string, Listed>* out) {
  std::u16string path = u"LDAP://<WKGUID=" + lumivel::FromUtf8(kDeletedObjectsWkGuid) + u"," +
                        lumivel::FromUtf8(base_dn) + u">";
  lumivel::ComPtr<IDirectorySearch> search;
  HRESULT hr = ADsOpenObject(path.c_str(), nullptr, nullptr, ADS_SECURE_AUTHENTICATION | ADS_USE_SEALING | ADS_FAST_BIND,
                             IID_IDirectorySearch, search.putVoid());
  if (FAILED(hr)) return hr;
  ADS_SEARCHPREF_INFO prefs[3] = {};
  prefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
  prefs[0].vValue.dwType = ADSTYPE_INTEGER;
  prefs[0].vValue.Integer = ADS_SCOPE_ONELEVEL;
  prefs[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  prefs[1].vValue.dwType = ADSTYPE_INTEGER;
  prefs[1].vValue.Integer = page_size;
  prefs[2].dwSearchPref = ADS_SEARCHPREF_TOMBSTONE;
  prefs[2].vValue.dwType = ADSTYPE_BOOLEAN;
  prefs[2].vValue.Boolean = TRUE;
  hr = search->SetSearchPreference(prefs, tombstones ? 3 : 2);
  if (FAILED(hr)) return hr;
  LPWSTR attributes[] = {const_cast<LPWSTR>(u"distinguishedName"), const_cast<LPWSTR>(u"lastKnownParent"),
                         const_cast<LPWSTR>(u"objectClass")};
  ADS_SEARCH_HANDLE handle = nullptr;
  hr = search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=*)"), attributes, 3, &handle);
  if (FAILED(hr)) return hr;
  while ((hr = search->GetNextRow(handle)) == S_OK) {
    std::string dn = lower(column_text(search.get(), handle, u"distinguishedName", false));
    Listed row{column_text(search.get(), handle, u"objectClass", true),
               lower(column_text(search.get(), handle, u"lastKnownParent", false))};
    if (!out->emplace(dn, row).second) ADD_FAILURE() << "listed twice: " << dn;
  }
  search->CloseSearchHandle(handle);
  return hr == S_ADS_NOMORE_ROWS ? S_OK : hr;
}

// The name a tombstone had before deletion: its ou, else its cn, cut at the mangling.
std::optional<std::string> original_name(const Entry& e) {
  std::string value = e.last("ou").empty() ? e.last("cn") : e.last("ou");
  auto mark = value.find("\nDEL:");
  if (mark == std::string::npos) return std::nullopt;
  return value.substr(0, mark);
}

TEST_F(TestDirectory, RootDseDescribesTheTestDomain) {
  auto rootdse = search("", LDAP_SCOPE_BASE, "(objectClass=*)",
                        {"defaultNamingContext", "dnsHostName", "supportedControl", "supportedSASLMechanisms",
                         "isGlobalCatalogReady"},
                        false);
  ASSERT_EQ(rootdse.size(), 1u);
  const Entry& r = rootdse[0];
  EXPECT_EQ(lower(r.last("defaultnamingcontext")), lower(s_base));
  EXPECT_EQ(lower(r.last("dnshostname")), lower(s_dc));
  EXPECT_EQ(r.last("isglobalcatalogready"), "TRUE");
  auto has = [&](const char* attr, const char* value) {
    auto it = r.values.find(attr);
    return it != r.values.end() && std::find(it->second.begin(), it->second.end(), value) != it->second.end();
  };
  EXPECT_TRUE(has("supportedcontrol", kShowDeletedOid));
  EXPECT_TRUE(has("supportedcontrol", kPagedResultsOid));
  EXPECT_TRUE(has("supportedsaslmechanisms", "GSSAPI"));

  sasl_ssf_t ssf = 0;
  ASSERT_EQ(ldap_get_option(m_ld.get(), LDAP_OPT_X_SASL_SSF, &ssf), LDAP_SUCCESS);
  EXPECT_GE(ssf, 56u) << "the bind has no sealing layer";
}

TEST_F(TestDirectory, EverySeededTombstoneIsListedWithItsParent) {
  auto facts = read_facts(s_facts_path);
  auto tombstones = search(deleted_objects_base(), LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                           {"cn", "ou", "distinguishedName", "lastKnownParent", "objectClass", "whenChanged"}, true);
  std::multimap<std::string, const Entry*> by_name;
  for (const Entry& t : tombstones) {
    if (auto name = original_name(t)) by_name.emplace(*name, &t);
  }
  size_t deleted = 0;
  for (const Fact& f : facts) {
    if (!f.deleted) continue;
    ++deleted;
    SCOPED_TRACE(f.key);
    std::vector<const Entry*> found;
    auto [lo, hi] = by_name.equal_range(f.name);
    for (auto it = lo; it != hi; ++it) {
      if (it->second->last("objectclass") == f.cls) found.push_back(it->second);
    }
    ASSERT_EQ(found.size(), 1u) << "tombstones named '" << f.name << "' of class " << f.cls;
    const Entry& t = *found[0];
    EXPECT_NE(t.dn.find("\\0ADEL:"), std::string::npos) << t.dn;
    EXPECT_EQ(t.dn.rfind(f.rdn + "=", 0), 0u) << t.dn;
    EXPECT_EQ(t.last("whenchanged").size(), 17u) << "whenChanged " << t.last("whenchanged");
    std::string lkp = t.last("lastknownparent");
    if (f.parent_deleted) {
      // The parent's tombstone must be in the same listing, under its own mangled name.
      auto parent = std::find_if(tombstones.begin(), tombstones.end(),
                                 [&](const Entry& p) { return lower(p.dn) == lower(lkp); });
      ASSERT_NE(parent, tombstones.end()) << "lastKnownParent " << lkp << " is not a listed tombstone";
      EXPECT_EQ(original_name(*parent).value_or(""), first_rdn_value(f.parent)) << parent->dn;
    } else {
      EXPECT_EQ(lower(lkp), lower(parent_dn(f, s_base)));
    }
  }
  EXPECT_GE(tombstones.size(), deleted);
}

TEST_F(TestDirectory, TombstonesStayHiddenWithoutTheShowDeletedControl) {
  int rc = LDAP_SUCCESS;
  auto hidden = search(deleted_objects_base(), LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"cn"}, false, &rc);
  EXPECT_TRUE(rc == LDAP_SUCCESS || rc == LDAP_NO_SUCH_OBJECT) << ldap_err2string(rc);
  EXPECT_TRUE(hidden.empty()) << hidden.size() << " entries, first " << hidden[0].dn;
}

TEST_F(TestDirectory, LiveSeedObjectsExistUnderTheirEscapedNames) {
  auto facts = read_facts(s_facts_path);
  for (const Fact& f : facts) {
    if (f.deleted) continue;
    SCOPED_TRACE(f.key);
    std::string dn = f.rdn + "=" + escape_rdn_value(f.name) + "," + parent_dn(f, s_base);
    auto found = search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass", "cn", "ou"}, false);
    ASSERT_EQ(found.size(), 1u) << dn;
    EXPECT_EQ(found[0].last("objectclass"), f.cls);
    EXPECT_EQ(found[0].last(lower(f.rdn)), f.name);
  }
}

// Non-ASCII and escaped names, class and last known parent must come through the platform's
// layer exactly as the wire carries them, and nothing may be lost or added between pages.
// Other tests may delete and restore objects meanwhile: what libldap lists both before and
// after must be there, and nothing may appear that libldap never listed.
TEST_F(TestDirectory, ThePlatformLayerListsTheSameTombstones) {
  auto wire = [&] {
    std::map<std::string, Listed> rows;
    for (const Entry& t : search(deleted_objects_base(), LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                 {"distinguishedName", "lastKnownParent", "objectClass"}, true)) {
      rows[lower(t.dn)] = {t.last("objectclass"), lower(t.last("lastknownparent"))};
    }
    return rows;
  };
  std::map<std::string, Listed> before = wire();
  ASSERT_GT(before.size(), 20u);

  // Several pages even for the small seed, not thousands after a bulk load.
  int page_size = std::max(10, static_cast<int>(before.size() / 4));
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  std::map<std::string, Listed> listed, hidden;
  HRESULT hr = adsi_listing(s_base, true, page_size, &listed);
  HRESULT hidden_hr = adsi_listing(s_base, false, page_size, &hidden);
  CoUninitialize();
  ASSERT_EQ(hr, S_OK);
  std::map<std::string, Listed> after = wire();

  size_t compared = 0;
  for (const auto& [dn, row] : before) {
    auto later = after.find(dn);
    if (later == after.end() || !(later->second == row)) continue;
    ++compared;
    auto it = listed.find(dn);
    if (it == listed.end()) {
      ADD_FAILURE() << "missing through ADSI: " << dn;
    } else if (!(it->second == row)) {
      ADD_FAILURE() << dn << ": " << it->second.cls << " under " << it->second.parent << ", libldap says " << row.cls
                    << " under " << row.parent;
    }
  }
  EXPECT_GT(compared, 20u);
  for (const auto& [dn, row] : listed) {
    if (!before.count(dn) && !after.count(dn)) ADD_FAILURE() << "listed through ADSI only: " << dn;
  }
  EXPECT_TRUE(FAILED(hidden_hr) || hidden.empty()) << hidden.size() << " tombstones without the preference";
}

}  // namespace
