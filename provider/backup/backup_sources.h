// What a backup reads besides the directory: the configuration file's attribute lists and the
// attribute lists of each class. The provider object owns both and lends them to every run, so
// the schema is asked about a class once for the life of the object, not once per backup.
#pragma once

#include "provider/backup/attribute_lists.h"
#include "provider/backup/class_attribute_cache.h"

namespace revivo {

struct BackupSources {
    AttributeLists* attributeLists = nullptr;
    ClassAttributeCache* classAttributes = nullptr;
};

}  // namespace revivo
