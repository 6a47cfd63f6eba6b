// IDirectorySearch: preferences as LDAP controls, paged searches read as a stream (at most
// one page's messages are ever held), columns typed by attribute syntax.
#include <sys/time.h>

#include <deque>
#include <new>

#include "ads_object.h"
#include "ldap_trace.h"
#include "error_table.h"
#include "lumivel/text.h"
#include "win/dirsync.h"

namespace lumivel::directory {

struct SearchState {
    std::shared_ptr<LdapConnection> connection;
    std::shared_ptr<const SchemaSyntaxes> syntaxes;
    SearchPreferences preferences;
    std::string base;
    std::string filter;
    std::vector<std::string> attributes;  // sent to the server; empty: all
    bool wantsAdsPath = false;
    bool allAttributes = false;
    int messageId = -1;
    bool done = false;
    bool anyRow = false;
    std::string cookie;
    // The directory synchronisation's cookie: the one to send, then the one the server
    // answered with; complete once the server says it has nothing more. The server's last
    // answer is read ahead of up to a page of rows, so the cookie is given out only once
    // those rows are handed out: a caller that saved it sooner would go on past rows it
    // never saw.
    std::string dirSyncCookie;
    bool dirSyncComplete = false;
    // Messages of the page that have arrived before the caller asked for them. Once the
    // page's end is among them the next page is asked for at once, so that the server works
    // on it while the caller goes through these rows; no further look-ahead happens until
    // they are all handed out, so that no more than one page is ever held.
    std::deque<LdapMessagePtr> ahead;
    bool requestedAhead = false;
    // How the search ended, once the rows ahead of the end are handed out.
    HRESULT ended = S_ADS_NOMORE_ROWS;
    std::u16string rowDn;
    RawAttributes row;
    bool hasRow = false;
    std::map<std::string, RawAttribute>::const_iterator nextColumn;
    bool adsPathColumnGiven = false;
};

namespace {

berval* BerSequenceOfInteger(int value) {
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    if (!ber) return nullptr;
    berval* out = nullptr;
    if (ber_printf(ber, "{i}", value) == -1 || ber_flatten(ber, &out) != 0) out = nullptr;
    ber_free(ber, 1);
    return out;
}

berval* BerSequenceOfString(const std::string& value) {
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    if (!ber) return nullptr;
    berval* out = nullptr;
    if (ber_printf(ber, "{s}", value.c_str()) == -1 || ber_flatten(ber, &out) != 0) out = nullptr;
    ber_free(ber, 1);
    return out;
}

constexpr char kDirSyncOid[] = "1.2.840.113556.1.4.841";

// The DirSync request: flags, the most bytes of attribute values in one answer (0: the
// server's own bound) and the cookie.
berval* BerDirSyncRequest(int flags, const std::string& cookie) {
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    if (!ber) return nullptr;
    berval value{cookie.size(), const_cast<char*>(cookie.data())};
    berval* out = nullptr;
    if (ber_printf(ber, "{iiO}", flags, 0, &value) == -1 || ber_flatten(ber, &out) != 0) out = nullptr;
    ber_free(ber, 1);
    return out;
}

// The DirSync answer: whether more follows, and the cookie that goes on from here.
bool ParseDirSyncResponse(const LDAPControl* control, bool* more, std::string* cookie) {
    BerElement* ber = ber_init(const_cast<berval*>(&control->ldctl_value));
    if (!ber) return false;
    ber_int_t moreResults = 0, unused = 0;
    berval value{0, nullptr};
    const bool read = ber_scanf(ber, "{iio}", &moreResults, &unused, &value) != LBER_ERROR;
    ber_free(ber, 1);
    if (!read) return false;
    *more = moreResults != 0;
    cookie->assign(value.bv_val ? value.bv_val : "", value.bv_len);
    ber_memfree(value.bv_val);
    return true;
}

// Owns the controls of one search request.
struct RequestControls {
    std::vector<LDAPControl*> owned;
    std::vector<LDAPControl*> list;
    LDAPControl showDeleted{const_cast<char*>("1.2.840.113556.1.4.417"), {0, nullptr}, 1};

    ~RequestControls() {
        for (auto* c : owned) ldap_control_free(c);
    }

    int Build(LDAP* ld, const SearchState& s) {
        const SearchPreferences& p = s.preferences;
        // The synchronisation control pages by itself and cannot be combined with paging.
        if (p.dirSync && !AddValueControl(kDirSyncOid, BerDirSyncRequest(p.dirSyncFlags, s.dirSyncCookie), 1))
            return LDAP_NO_MEMORY;
        if (p.pageSize > 0 && !p.dirSync) {
            berval cookie{s.cookie.size(), const_cast<char*>(s.cookie.data())};
            LDAPControl* page = nullptr;
            const int rc = ldap_create_page_control(ld, p.pageSize, &cookie, 0, &page);
            if (rc != LDAP_SUCCESS) return rc;
            owned.push_back(page);
        }
        if (p.securityMask >= 0 && !AddValueControl("1.2.840.113556.1.4.801", BerSequenceOfInteger(p.securityMask), 0))
            return LDAP_NO_MEMORY;
        if (p.extendedDn >= 0 && !AddValueControl("1.2.840.113556.1.4.529", BerSequenceOfInteger(p.extendedDn), 0))
            return LDAP_NO_MEMORY;
        if (!p.attributeScopedQuery.empty() &&
            !AddValueControl("1.2.840.113556.1.4.1504", BerSequenceOfString(p.attributeScopedQuery), 1))
            return LDAP_NO_MEMORY;
        if (!p.sortKeys.empty()) {
            std::vector<LDAPSortKey> keys(p.sortKeys.size());
            std::vector<LDAPSortKey*> keyList;
            for (size_t i = 0; i < keys.size(); ++i) {
                keys[i].attributeType = const_cast<char*>(p.sortKeys[i].attribute.c_str());
                keys[i].orderingRule = nullptr;
                keys[i].reverseOrder = p.sortKeys[i].reverse ? 1 : 0;
                keyList.push_back(&keys[i]);
            }
            keyList.push_back(nullptr);
            LDAPControl* sort = nullptr;
            const int rc = ldap_create_sort_control(ld, keyList.data(), 0, &sort);
            if (rc != LDAP_SUCCESS) return rc;
            owned.push_back(sort);
        }
        list = owned;
        if (p.showDeleted) list.push_back(&showDeleted);
        list.push_back(nullptr);
        return LDAP_SUCCESS;
    }

    bool AddValueControl(const char* oid, berval* value, int critical) {
        if (!value) return false;
        LDAPControl* control = nullptr;
        const int rc = ldap_control_create(oid, critical, value, 1, &control);
        ber_bvfree(value);
        if (rc != LDAP_SUCCESS) return false;
        owned.push_back(control);
        return true;
    }
};

// Sends the next request of the search (the first page, or the page after the cookie).
int SendRequest(SearchState& s) {
    LdapConnection& c = *s.connection;
    LDAP* ld = c.Handle();
    RequestControls controls;
    int rc = controls.Build(ld, s);
    if (rc != LDAP_SUCCESS) return rc;
    std::vector<char*> names;
    for (auto& a : s.attributes) names.push_back(a.data());
    names.push_back(nullptr);
    int deref = s.preferences.derefAliases;
    int previousDeref = LDAP_DEREF_NEVER;
    ldap_get_option(ld, LDAP_OPT_DEREF, &previousDeref);
    ldap_set_option(ld, LDAP_OPT_DEREF, &deref);
    timeval limit{s.preferences.timeLimit, 0};
    rc = ldap_search_ext(ld, s.base.c_str(), s.preferences.scope, s.filter.c_str(),
                         s.attributes.empty() ? nullptr : names.data(), s.preferences.attributeTypesOnly ? 1 : 0,
                         controls.list.data(), nullptr, s.preferences.timeLimit > 0 ? &limit : nullptr,
                         s.preferences.sizeLimit, &s.messageId);
    ldap_set_option(ld, LDAP_OPT_DEREF, &previousDeref);
    c.NoteResult(rc);
    // A request the server answers is traced with its answer; one that could not be sent here.
    if (rc != LDAP_SUCCESS) TraceSearch(c.ServerName(), s.base, s.preferences.scope, s.filter, rc);
    return rc;
}

bool ValueInteger(const ADSVALUE& v, int* out) {
    if (v.dwType != ADSTYPE_INTEGER) return false;
    *out = static_cast<int>(v.Integer);
    return true;
}

bool ValueBoolean(const ADSVALUE& v, bool* out) {
    if (v.dwType != ADSTYPE_BOOLEAN) return false;
    *out = v.Boolean != 0;
    return true;
}

// Abandons the server's work on a search that has not run to its end.
void Abandon(SearchState& s) {
    std::lock_guard<std::mutex> lock(s.connection->Mutex());
    if (!s.done && s.messageId >= 0) ldap_abandon_ext(s.connection->Handle(), s.messageId, nullptr, nullptr);
    s.done = true;
}

}  // namespace

SearchState* AdsObject::FindSearch(ADS_SEARCH_HANDLE handle) const {
    auto* state = static_cast<SearchState*>(handle);
    return state && m_searches.count(state) ? state : nullptr;
}

void AdsObject::CloseAllSearches() {
    for (SearchState* s : m_searches) {
        Abandon(*s);
        delete s;
    }
    m_searches.clear();
}

HRESULT AdsObject::SetSearchPreference(PADS_SEARCHPREF_INFO prefs, DWORD count) {
    if (count == 0) return S_OK;
    if (!prefs) return E_ADS_BAD_PARAMETER;
    DWORD failed = 0;
    for (DWORD i = 0; i < count; ++i) {
        ADS_SEARCHPREF_INFO& p = prefs[i];
        const ADSVALUE& v = p.vValue;
        SearchPreferences& m = m_preferences;
        int number = 0;
        bool flag = false;
        bool valid = true;
        bool known = true;
        switch (p.dwSearchPref) {
            case ADS_SEARCHPREF_SEARCH_SCOPE:
                valid = ValueInteger(v, &number) && number >= ADS_SCOPE_BASE && number <= ADS_SCOPE_SUBTREE;
                if (valid) m.scope = number;  // ADS_SCOPE_* equal LDAP_SCOPE_*
                break;
            case ADS_SEARCHPREF_PAGESIZE:
                valid = ValueInteger(v, &number) && number >= 0;
                if (valid) m.pageSize = number;
                break;
            case ADS_SEARCHPREF_TOMBSTONE:
                valid = ValueBoolean(v, &flag);
                if (valid) m.showDeleted = flag;
                break;
            case ADS_SEARCHPREF_SIZE_LIMIT:
                valid = ValueInteger(v, &number) && number >= 0;
                if (valid) m.sizeLimit = number;
                break;
            case ADS_SEARCHPREF_TIME_LIMIT:
                valid = ValueInteger(v, &number) && number >= 0;
                if (valid) m.timeLimit = number;
                break;
            case ADS_SEARCHPREF_TIMEOUT:
                valid = ValueInteger(v, &number) && number >= 0;
                if (valid) m.timeoutSeconds = number;
                break;
            case ADS_SEARCHPREF_DEREF_ALIASES:
                valid = ValueInteger(v, &number) && number >= ADS_DEREF_NEVER && number <= ADS_DEREF_ALWAYS;
                if (valid) m.derefAliases = number;
                break;
            case ADS_SEARCHPREF_ATTRIBTYPES_ONLY:
                valid = ValueBoolean(v, &flag);
                if (valid) m.attributeTypesOnly = flag;
                break;
            case ADS_SEARCHPREF_ASYNCHRONOUS:
            case ADS_SEARCHPREF_CACHE_RESULTS:
                // Rows always stream from the server and are never cached.
                valid = ValueBoolean(v, &flag);
                break;
            case ADS_SEARCHPREF_CHASE_REFERRALS:
                // Referrals are never chased: an integrated bind would not carry to the other server.
                valid = ValueInteger(v, &number) && number == ADS_CHASE_REFERRALS_NEVER;
                break;
            case ADS_SEARCHPREF_PAGED_TIME_LIMIT:
                valid = ValueInteger(v, &number) && number >= 0;
                break;
            case ADS_SEARCHPREF_SECURITY_MASK:
                valid = ValueInteger(v, &number) && number >= 0;
                if (valid) m.securityMask = number;
                break;
            case ADS_SEARCHPREF_EXTENDED_DN:
                valid = ValueInteger(v, &number) && (number == 0 || number == 1 || number == -1);
                if (valid) m.extendedDn = number;
                break;
            case ADS_SEARCHPREF_ATTRIBUTE_QUERY:
                valid = (v.dwType == ADSTYPE_CASE_IGNORE_STRING || v.dwType == ADSTYPE_CASE_EXACT_STRING) &&
                        v.CaseIgnoreString && *v.CaseIgnoreString;
                if (valid) m.attributeScopedQuery = ToUtf8(v.CaseIgnoreString);
                break;
            case ADS_SEARCHPREF_SORT_ON: {
                valid = v.dwType == ADSTYPE_PROV_SPECIFIC && v.ProviderSpecific.lpValue &&
                        v.ProviderSpecific.dwLength >= sizeof(ADS_SORTKEY) &&
                        v.ProviderSpecific.dwLength % sizeof(ADS_SORTKEY) == 0;
                if (valid) {
                    std::vector<SearchPreferences::SortKey> keys;
                    const auto* raw = reinterpret_cast<const ADS_SORTKEY*>(v.ProviderSpecific.lpValue);
                    for (size_t k = 0; k < v.ProviderSpecific.dwLength / sizeof(ADS_SORTKEY); ++k) {
                        if (!raw[k].pszAttrType || !*raw[k].pszAttrType) {
                            valid = false;
                            break;
                        }
                        keys.push_back({ToUtf8(raw[k].pszAttrType), raw[k].fReverseorder != 0});
                    }
                    if (valid) m.sortKeys = std::move(keys);
                }
                break;
            }
            case ADS_SEARCHPREF_DIRSYNC:
                valid = v.dwType == ADSTYPE_PROV_SPECIFIC &&
                        (v.ProviderSpecific.dwLength == 0 || v.ProviderSpecific.lpValue);
                if (valid) {
                    m.dirSync = true;
                    m.dirSyncCookie.assign(reinterpret_cast<const char*>(v.ProviderSpecific.lpValue),
                                           v.ProviderSpecific.lpValue ? v.ProviderSpecific.dwLength : 0);
                }
                break;
            case ADS_SEARCHPREF_DIRSYNC_FLAG:
                valid = ValueInteger(v, &number);
                if (valid) m.dirSyncFlags = number;
                break;
            default:
                // Virtual list views are not offered.
                known = false;
                break;
        }
        p.dwStatus = !known ? ADS_STATUS_INVALID_SEARCHPREF
                            : (valid ? ADS_STATUS_S_OK : ADS_STATUS_INVALID_SEARCHPREFVALUE);
        if (p.dwStatus != ADS_STATUS_S_OK) ++failed;
    }
    if (failed == 0) return S_OK;
    return failed == count ? E_ADS_BAD_PARAMETER : S_ADS_ERRORSOCCURRED;
}

HRESULT AdsObject::ExecuteSearch(LPWSTR filter, LPWSTR* names, DWORD count, PADS_SEARCH_HANDLE handle) {
    if (!handle) return E_ADS_BAD_PARAMETER;
    *handle = nullptr;
    if (m_isNew) return E_ADS_OBJECT_UNBOUND;
    auto state = std::make_unique<SearchState>();
    state->connection = m_location.connection;
    state->syntaxes = Syntaxes();
    state->preferences = m_preferences;
    state->base = SearchBase();
    state->dirSyncCookie = m_preferences.dirSyncCookie;
    std::u16string text = filter ? std::u16string(filter) : std::u16string();
    if (text.empty()) text = u"(objectClass=*)";
    else if (text.front() != u'(') text = u"(" + text + u")";
    state->filter = ToUtf8(text);
    if (!names || count == 0 || count == static_cast<DWORD>(-1)) {
        state->allAttributes = true;
        state->wantsAdsPath = true;
    } else {
        for (DWORD i = 0; i < count; ++i) {
            if (!names[i]) return E_ADS_BAD_PARAMETER;
            const std::string name = ToUtf8(names[i]);
            if (LowerAsciiUtf8(name) == "adspath") state->wantsAdsPath = true;
            else state->attributes.push_back(name);
        }
        if (state->attributes.empty()) state->attributes.push_back("1.1");
    }
    LdapConnection& c = *state->connection;
    std::lock_guard<std::mutex> lock(c.Mutex());
    const int rc = SendRequest(*state);
    if (rc == LDAP_FILTER_ERROR) return E_ADS_INVALID_FILTER;
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    m_searches.insert(state.get());
    *handle = state.release();
    return S_OK;
}

HRESULT AdsObject::AbandonSearch(ADS_SEARCH_HANDLE handle) {
    SearchState* s = FindSearch(handle);
    if (!s) return E_ADS_BAD_PARAMETER;
    Abandon(*s);
    // No row comes after an abandon, not even one read ahead; a synchronisation whose rows
    // were dropped so is not complete.
    std::lock_guard<std::mutex> lock(s->connection->Mutex());
    if (!s->ahead.empty()) {
        s->ahead.clear();
        s->requestedAhead = false;
        s->dirSyncComplete = false;
        s->ended = S_ADS_NOMORE_ROWS;
    }
    return S_OK;
}

HRESULT AdsObject::GetFirstRow(ADS_SEARCH_HANDLE handle) {
    SearchState* s = FindSearch(handle);
    if (!s) return E_ADS_BAD_PARAMETER;
    if (s->anyRow) {
        // Rows are not cached: a search that has moved on starts again from the server, which
        // hands the rows out in the same order.
        Abandon(*s);
        std::lock_guard<std::mutex> lock(s->connection->Mutex());
        s->cookie.clear();
        s->dirSyncCookie = s->preferences.dirSyncCookie;
        s->dirSyncComplete = false;
        s->hasRow = false;
        s->row.clear();
        s->ahead.clear();
        s->requestedAhead = false;
        s->ended = S_ADS_NOMORE_ROWS;
        s->anyRow = false;
        s->messageId = -1;
        const int rc = SendRequest(*s);
        if (rc != LDAP_SUCCESS) return rc == LDAP_FILTER_ERROR ? E_ADS_INVALID_FILTER : HresultFromLdap(rc);
        s->done = false;
    }
    return GetNextRow(handle);
}

namespace {

// The search's answer at the end of a page: asks for the next page (or the rest of a
// synchronisation) or ends the search. False when the search has ended, with s.ended set.
bool PageEnded(SearchState& s, LDAPMessage* message) {
    LdapConnection& c = *s.connection;
    LDAP* ld = c.Handle();
    auto end = [&](HRESULT result) {
        s.done = true;
        s.ended = result;
        return false;
    };
    int code = LDAP_SUCCESS;
    LDAPControl** response = nullptr;
    if (ldap_parse_result(ld, message, &code, nullptr, nullptr, nullptr, &response, 0) != LDAP_SUCCESS)
        return end(HresultFromLdap(LDAP_DECODING_ERROR));
    s.cookie.clear();
    bool moreToSync = false;
    bool syncAnswered = false;
    if (s.preferences.dirSync) {
        if (LDAPControl* sync = ldap_control_find(kDirSyncOid, response, nullptr))
            syncAnswered = ParseDirSyncResponse(sync, &moreToSync, &s.dirSyncCookie);
    }
    if (LDAPControl* page = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response, nullptr)) {
        berval next{0, nullptr};
        ber_int_t estimate = 0;
        if (ldap_parse_pageresponse_control(ld, page, &estimate, &next) == LDAP_SUCCESS && next.bv_val) {
            s.cookie.assign(next.bv_val, next.bv_len);
            ber_memfree(next.bv_val);
        }
    }
    ldap_controls_free(response);
    TraceSearch(c.ServerName(), s.base, s.preferences.scope, s.filter, code);
    if (code != LDAP_SUCCESS)
        return end(SearchEndResult(code, s.preferences.sizeLimit > 0 ? CallerSizeLimit::Set : CallerSizeLimit::None));
    bool askAgain = false;
    if (s.preferences.dirSync) {
        // An answer without its control leaves no cookie to go on from: not a whole one.
        if (!syncAnswered) return end(HresultFromLdap(LDAP_CONTROL_NOT_FOUND));
        askAgain = moreToSync;
        if (!moreToSync) s.dirSyncComplete = true;
    } else {
        askAgain = s.preferences.pageSize > 0 && !s.cookie.empty();
    }
    if (!askAgain) return end(S_ADS_NOMORE_ROWS);
    const int rc = SendRequest(s);
    if (rc != LDAP_SUCCESS) return end(HresultFromLdap(rc));
    return true;
}

// Takes one message of the search: an entry goes into the rows ahead, a page's end asks for
// the next. `seconds` 0 takes only what has arrived already. False when nothing came (or
// the search ended).
bool TakeMessage(SearchState& s, int seconds) {
    LdapConnection& c = *s.connection;
    LDAP* ld = c.Handle();
    timeval timeout{seconds, 0};
    LDAPMessage* raw = nullptr;
    const int type = ldap_result(ld, s.messageId, LDAP_MSG_ONE, &timeout, &raw);
    LdapMessagePtr message(raw);
    if (type == 0) {
        if (seconds == 0) return false;
        ldap_abandon_ext(ld, s.messageId, nullptr, nullptr);
        s.done = true;
        s.ended = HRESULT_FROM_WIN32(ERROR_DS_TIMELIMIT_EXCEEDED);
        return false;
    }
    if (type < 0) {
        int error = LDAP_SERVER_DOWN;
        ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &error);
        c.NoteResult(error);
        s.done = true;
        s.ended = HresultFromLdap(error ? error : LDAP_LOCAL_ERROR);
        return false;
    }
    if (type == LDAP_RES_SEARCH_ENTRY) {
        s.ahead.push_back(std::move(message));
        return true;
    }
    if (type != LDAP_RES_SEARCH_RESULT) return true;  // references and the like
    if (!PageEnded(s, message.get())) return false;
    // Rows of the page just ended may still wait: the next page is asked for already.
    s.requestedAhead = !s.ahead.empty();
    return true;
}

// What has arrived of the current page, without waiting, up to its end.
void TakeArrived(SearchState& s) {
    while (!s.done && !s.requestedAhead && TakeMessage(s, 0)) {
    }
}

}  // namespace

HRESULT AdsObject::GetNextRow(ADS_SEARCH_HANDLE handle) {
    SearchState* s = FindSearch(handle);
    if (!s) return E_ADS_BAD_PARAMETER;
    s->hasRow = false;
    s->row.clear();
    LdapConnection& c = *s->connection;
    std::lock_guard<std::mutex> lock(c.Mutex());
    const int seconds = s->preferences.timeoutSeconds > 0 ? s->preferences.timeoutSeconds
                                                          : CurrentTimeouts().operationSeconds;
    while (s->ahead.empty()) {
        // The rows of the page before are all handed out: the one asked for ahead is current.
        s->requestedAhead = false;
        if (s->done) return s->ended;
        TakeMessage(*s, seconds);
    }
    TakeArrived(*s);
    LdapMessagePtr message = std::move(s->ahead.front());
    s->ahead.pop_front();
    s->rowDn = FromUtf8(EntryDn(c.Handle(), message.get()));
    const int rc = ReadEntryAttributes(c, message.get(), &s->row, s->preferences.showDeleted);
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    s->hasRow = true;
    s->anyRow = true;
    s->nextColumn = s->row.begin();
    s->adsPathColumnGiven = false;
    return S_OK;
}

HRESULT AdsObject::GetPreviousRow(ADS_SEARCH_HANDLE handle) {
    return FindSearch(handle) ? E_NOTIMPL : E_ADS_BAD_PARAMETER;
}

HRESULT AdsObject::GetNextColumnName(ADS_SEARCH_HANDLE handle, LPWSTR* name) {
    SearchState* s = FindSearch(handle);
    if (!s || !name) return E_ADS_BAD_PARAMETER;
    *name = nullptr;
    if (!s->hasRow) return E_ADS_BAD_PARAMETER;
    std::u16string next;
    if (s->nextColumn != s->row.end()) {
        next = FromUtf8(s->nextColumn->second.name);
        ++s->nextColumn;
    } else if (s->wantsAdsPath && !s->adsPathColumnGiven) {
        next = u"ADsPath";
        s->adsPathColumnGiven = true;
    } else {
        return S_ADS_NOMORE_COLUMNS;
    }
    *name = AllocADsStr(next.c_str());
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT AdsObject::GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR columnName, PADS_SEARCH_COLUMN column) {
    SearchState* s = FindSearch(handle);
    if (!s || !columnName || !column) return E_ADS_BAD_PARAMETER;
    *column = ADS_SEARCH_COLUMN{};
    const std::string name = ToUtf8(columnName);
    const std::string key = LowerAsciiUtf8(name);
    auto storage = std::make_unique<ColumnStorage>();
    storage->name = columnName;
    if (s->preferences.dirSync && key == ToUtf8(ADS_DIRSYNC_COOKIE)) {
        // Only a synchronisation that ran to its end, every row handed out, has a cookie to go on from.
        bool complete = false;
        {
            std::lock_guard<std::mutex> lock(s->connection->Mutex());
            complete = s->dirSyncComplete && s->ahead.empty();
        }
        if (!complete) return E_ADS_COLUMN_NOT_SET;
        storage->bytes.push_back(s->dirSyncCookie);
        ADSVALUE value{};
        value.dwType = ADSTYPE_PROV_SPECIFIC;
        value.ProviderSpecific.dwLength = static_cast<DWORD>(storage->bytes.back().size());
        value.ProviderSpecific.lpValue = reinterpret_cast<LPBYTE>(storage->bytes.back().data());
        storage->values.push_back(value);
        column->pszAttrName = storage->name.data();
        column->dwADsType = ADSTYPE_PROV_SPECIFIC;
        column->dwNumValues = 1;
        column->pADsValues = storage->values.data();
        column->hReserved = storage.release();
        return S_OK;
    }
    if (!s->hasRow) return E_ADS_BAD_PARAMETER;
    Syntax syntax;
    if (key == "adspath" && s->wantsAdsPath) {
        syntax = Syntax::CaseIgnoreString;
        FillColumn(syntax, {ToUtf8(AdsPathOf(s->rowDn))}, storage.get());
    } else {
        auto found = s->row.find(key);
        if (found == s->row.end() || found->second.values.empty()) return E_ADS_COLUMN_NOT_SET;
        syntax = s->syntaxes->Of(key);
        FillColumn(syntax, found->second.values, storage.get());
    }
    column->pszAttrName = storage->name.data();
    column->dwADsType = AdsTypeOf(syntax);
    column->dwNumValues = static_cast<DWORD>(storage->values.size());
    column->pADsValues = storage->values.data();
    column->hReserved = storage.release();
    return S_OK;
}

HRESULT AdsObject::FreeColumn(PADS_SEARCH_COLUMN column) {
    if (!column) return E_ADS_BAD_PARAMETER;
    delete static_cast<ColumnStorage*>(column->hReserved);
    *column = ADS_SEARCH_COLUMN{};
    return S_OK;
}

HRESULT AdsObject::CloseSearchHandle(ADS_SEARCH_HANDLE handle) {
    SearchState* s = FindSearch(handle);
    if (!s) return E_ADS_BAD_PARAMETER;
    Abandon(*s);
    m_searches.erase(s);
    delete s;
    return S_OK;
}

}  // namespace lumivel::directory
