#include "cli/command_records.h"

#include "cli/cli_output.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

using lumivel::shared::NarrowText;

Record DomainRecord(const PropertySet* node, const DomainSites& sites) {
    Record record;
    record.set("name", NarrowText(node->getText(u"name")))
        .set("domain", NarrowText(node->getText(u"DomainName")))
        .set("domainController", NarrowText(node->getText(u"FocusedDC")))
        .set("namingContext", NarrowText(node->getText(u"NamingContext")))
        .set("controllerSite", NarrowText(sites.controllerSite))
        .set("clientSite", NarrowText(sites.clientSite));
    return record;
}

Record BackupRecord(const std::u16string& archive, const std::u16string& server, const std::vector<std::string>& objects) {
    Record record;
    record.set("path", NarrowText(archive)).set("server", NarrowText(server)).set("objects", objects);
    return record;
}

Record BackupArchiveRecord(const BackupArchive& archive) {
    Record record;
    const std::string date = NarrowText(archive.date);
    record.set("name", NarrowText(archive.name))
        .set("path", NarrowText(archive.path))
        .set("date", BackupDateUtc(date))
        .set("origin", NarrowText(archive.origin))
        .set("objects", archive.objects >= 0 ? Json(archive.objects) : Json())
        .set("holdsObject", archive.holdsObject ? Json(*archive.holdsObject) : Json())
        .set("trusted", archive.distrust.empty())
        .set("distrust", archive.distrust.empty() ? Json() : Json(NarrowText(archive.distrust)));
    // What the archive records when it is no time, and what could not be counted, in words.
    if (record.values["date"].is_null()) record.shown["date"] = date;
    if (archive.objects < 0) record.shown["objects"] = "unreadable";
    return record;
}

Json BackupListingFields(const BackupListing& listing, const std::optional<std::string>& object) {
    return Json{{"folder", NarrowText(listing.folder)}, {"object", object ? Json(*object) : Json()}};
}

}  // namespace lumivel_cli
