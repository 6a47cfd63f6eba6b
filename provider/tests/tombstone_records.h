// Finding a listed tombstone and running command 311 on it, for the tests against the test
// directory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

namespace lumivel::testing {

// The listed tombstone of the object whose cn or ou was the given name.
inline PropertySet* TombstoneNamed(const std::vector<PropertySet*>& records, const std::string& name) {
    const std::u16string prefix = lumivel::shared::WidenText(name) + u"\nDEL:";
    for (PropertySet* record : records)
        if (record && record->getText(u"name").substr(0, prefix.size()) == prefix) return record;
    return nullptr;
}

// A full listing (which also fills the provider's cache of deleted parents); the records are
// the caller's to release.
inline std::vector<PropertySet*> ListAllTombstones(IRevivo* revivo) {
    VARIANT objects;
    VariantInit(&objects);
    EXPECT_EQ(revivo->EnumDeletedObjects(0, nullptr, &objects), S_OK);
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
    VariantClear(&objects);
    return records;
}

// Command 311 (or another that answers as it does) on one record: its status, and the records
// its answer names after the header. The restored records are the caller's to release.
inline HRESULT RestoreRecord(IProviderCommands* commands, PropertySet* record, std::vector<PropertySet*>* restored,
                             LONG command = ID_RESTORE) {
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(record, &selection);
    HRESULT status = commands->ExecuteCommand(nullptr, 1, command, &selection, &result);
    std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
    VariantClear(&result);
    restored->clear();
    if (!answer.empty()) {
        EXPECT_EQ(answer[0]->getText(u"RefreshReason"), u"ObjectsDeleted");
        answer[0]->release();
        restored->assign(answer.begin() + 1, answer.end());
    } else {
        EXPECT_NE(status, S_OK) << "a restore that succeeded returned no result";
    }
    return status;
}

}  // namespace lumivel::testing
