// The control-access verdict over DACLs built byte by byte, as a directory stores them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "provider/restore/reanimate_rights.h"

namespace {

using revivo::AccessVerdict;
using revivo::ControlAccessOf;
using revivo::SidBytes;

SidBytes sid(uint32_t rid) { return {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, static_cast<uint8_t>(rid), 0, 0, 0}; }
const SidBytes kCaller = sid(1), kOther = sid(2);

void put16(std::vector<uint8_t>* out, uint16_t v) { out->insert(out->end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(std::vector<uint8_t>* out, uint32_t v) {
    out->insert(out->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}
void putGuid(std::vector<uint8_t>* out, const GUID& g) {
    put32(out, g.Data1);
    put16(out, g.Data2);
    put16(out, g.Data3);
    out->insert(out->end(), g.Data4, g.Data4 + 8);
}

struct Ace {
    uint8_t type;
    uint8_t flags;
    uint32_t mask;
    SidBytes who;
    const GUID* objectType = nullptr;
    const GUID* inheritedType = nullptr;
};

std::vector<uint8_t> descriptor(const std::vector<Ace>& aces) {
    std::vector<uint8_t> acl;
    for (const Ace& ace : aces) {
        std::vector<uint8_t> body;
        put32(&body, ace.mask);
        if (ace.type == 5 || ace.type == 6) {
            put32(&body, (ace.objectType ? 1u : 0u) | (ace.inheritedType ? 2u : 0u));
            if (ace.objectType) putGuid(&body, *ace.objectType);
            if (ace.inheritedType) putGuid(&body, *ace.inheritedType);
        }
        body.insert(body.end(), ace.who.begin(), ace.who.end());
        acl.insert(acl.end(), {ace.type, ace.flags});
        put16(&acl, static_cast<uint16_t>(body.size() + 4));
        acl.insert(acl.end(), body.begin(), body.end());
    }
    std::vector<uint8_t> sd = {1, 0};
    put16(&sd, 0x8004);  // self-relative, DACL present
    put32(&sd, 0);
    put32(&sd, 0);
    put32(&sd, 0);
    put32(&sd, 20);
    sd.insert(sd.end(), {4, 0});
    put16(&sd, static_cast<uint16_t>(acl.size() + 8));
    put16(&sd, static_cast<uint16_t>(aces.size()));
    put16(&sd, 0);
    sd.insert(sd.end(), acl.begin(), acl.end());
    return sd;
}

const GUID kOtherRight = {0x1131F6AA, 0x9C07, 0x11D1, {0xF7, 0x9F, 0x00, 0xC0, 0x4F, 0xC2, 0xDC, 0xD2}};

TEST(ReanimateRightsTest, TheFirstApplicableAceDecides) {
    const GUID& right = revivo::kReanimateTombstonesRight;
    struct Row {
        const char* what;
        std::vector<Ace> aces;
        AccessVerdict verdict;
    } rows[] = {
        {"granted for this right", {{5, 0, 0x100, kCaller, &right}}, AccessVerdict::Granted},
        {"granted for all extended rights", {{5, 0, 0x100, kCaller}}, AccessVerdict::Granted},
        {"full control", {{0, 0, 0x000F01FF | 0x10000000, kCaller}}, AccessVerdict::Granted},
        {"plain control access", {{0, 0, 0x100, kCaller}}, AccessVerdict::Granted},
        {"another right only", {{5, 0, 0x100, kCaller, &kOtherRight}}, AccessVerdict::NotGranted},
        {"someone else", {{5, 0, 0x100, kOther, &right}}, AccessVerdict::NotGranted},
        {"read and write only", {{0, 0, 0x30, kCaller}}, AccessVerdict::NotGranted},
        {"inherit-only", {{5, 0x08 | 0x02, 0x100, kCaller, &right}}, AccessVerdict::NotGranted},
        {"for objects of a class below", {{5, 0, 0x100, kCaller, &right, &kOtherRight}}, AccessVerdict::NotGranted},
        {"denied before granted", {{6, 0, 0x100, kCaller, &right}, {0, 0, 0x10000000, kCaller}}, AccessVerdict::Denied},
        {"granted before denied", {{0, 0, 0x10000000, kCaller}, {6, 0, 0x100, kCaller, &right}}, AccessVerdict::Granted},
        {"a denial of another right passes", {{6, 0, 0x100, kCaller, &kOtherRight}, {5, 0, 0x100, kCaller, &right}},
         AccessVerdict::Granted},
        {"an audit ACE grants nothing", {{2, 0, 0x100, kCaller}}, AccessVerdict::NotGranted},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ControlAccessOf(descriptor(row.aces), {sid(3), kCaller}, right), row.verdict) << row.what;
}

TEST(ReanimateRightsTest, DamagedDescriptorsGrantNothingAndNeverReadPastTheirEnd) {
    const GUID& right = revivo::kReanimateTombstonesRight;
    std::vector<uint8_t> whole = descriptor({{5, 0, 0x100, kCaller, &right}});
    for (size_t length = 0; length < whole.size(); ++length) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
        EXPECT_NE(ControlAccessOf(cut, {kCaller}, right), AccessVerdict::Granted) << length;
    }
    // An ACE whose size runs past the ACL.
    std::vector<uint8_t> overlong = whole;
    overlong[20 + 8 + 2] = 0xFF;
    EXPECT_EQ(ControlAccessOf(overlong, {kCaller}, right), AccessVerdict::NotGranted);
    // A SID claiming more sub-authorities than its ACE holds.
    std::vector<uint8_t> badSid = whole;
    badSid[20 + 8 + 4 + 4 + 4 + 16 + 1] = 15;
    EXPECT_EQ(ControlAccessOf(badSid, {kCaller}, right), AccessVerdict::NotGranted);
    // Without a DACL nothing is checked: everything is allowed.
    std::vector<uint8_t> noDacl = whole;
    noDacl[2] = 0;
    EXPECT_EQ(ControlAccessOf(noDacl, {kCaller}, right), AccessVerdict::Granted);
    EXPECT_EQ(ControlAccessOf(whole, {}, right), AccessVerdict::NotGranted);
}

}  // namespace
