#include "provider/details/tombstone_details.h"

#include <cstdio>
#include <set>

#include "provider/details/value_text.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

std::u16string number(size_t count) { return lumivel::shared::WidenText(std::to_string(count)); }

std::u16string counted(size_t count, std::u16string_view one, std::u16string_view many) {
    return number(count) + u" " + std::u16string(count == 1 ? one : many);
}

std::u16string moreLine(size_t more, std::u16string_view one, std::u16string_view many) {
    return u"  ... and " + number(more) + u" more " + std::u16string(more == 1 ? one : many) + u"\n";
}

// What re-applying does with one line of the plan, in the words of the pane.
std::u16string outcomeText(const ReapplyLine& line) {
    if (line.outcome == u"WouldWrite") return line.membership ? u"Re-apply joins it again" : u"Re-apply writes it back";
    if (line.outcome == u"Withheld") return u"Re-apply writes it only with your consent";
    if (line.outcome == u"Gone") return u"the group is gone";
    if (line.outcome == u"LeftAlone") return u"left alone (restricted, or set by the restore itself)";
    return u"cannot be written back";
}

void appendKept(const TombstoneDetails& details, std::u16string* text) {
    if (FAILED(details.keptRead)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(details.keptRead));
        *text += u"What the directory kept of it could not be read (error " + lumivel::shared::WidenText(code) + u").\n";
        return;
    }
    *text += u"Kept by the directory: " + counted(details.kept.size(), u"attribute", u"attributes") + u"\n";
    size_t shown = 0;
    for (const KeptAttribute& attribute : details.kept) {
        if (shown++ == kMostShownAttributes) {
            *text += moreLine(details.kept.size() - kMostShownAttributes, u"attribute", u"attributes");
            break;
        }
        std::u16string values;
        for (const std::u16string& value : attribute.texts) values += (values.empty() ? u"" : u"; ") + value;
        if (attribute.values > attribute.texts.size())
            values += u"; ... (" + counted(attribute.values, u"value", u"values") + u")";
        *text += u"  " + HarmlessText(attribute.name) + u": " + values + u"\n";
    }
}

void appendArchives(const TombstoneDetails& details, std::u16string* text) {
    std::u16string folder = details.backupFolder.empty() ? std::u16string() : u" in " + HarmlessText(details.backupFolder);
    if (FAILED(details.backupsRead)) {
        *text += u"The backup folder" + folder + u" could not be listed.\n";
        return;
    }
    if (details.archives.empty()) {
        *text += u"No backup archive" + folder + u" holds it.\n";
        return;
    }
    *text += u"Backups holding it" + folder + u", newest first:\n";
    size_t shown = 0;
    for (const HoldingArchive& archive : details.archives) {
        if (shown++ == kMostShownArchives) {
            *text += moreLine(details.archives.size() - kMostShownArchives, u"archive", u"archives");
            break;
        }
        std::u16string line = u"  " + HarmlessText(archive.name);
        if (!archive.date.empty()) line += u", " + HarmlessText(archive.date) + u" UTC";
        if (!archive.origin.empty()) line += u", from " + HarmlessText(archive.origin);
        line += archive.distrust.empty() ? u", trusted" : u", not trusted: " + HarmlessText(archive.distrust);
        *text += line + u"\n";
    }
}

void appendLost(const TombstoneDetails& details, std::u16string* text) {
    const RestorePlanView& plan = details.reapply;
    if (plan.archivePath.empty()) {
        if (!details.archives.empty()) *text += u"None of them is trusted: nothing is re-applied without naming one.\n";
        return;
    }
    std::u16string archive = HarmlessText(plan.archiveName) +
                             (plan.archiveDate.empty() ? u"" : u" of " + HarmlessText(plan.archiveDate) + u" UTC");
    if (!plan.reapplyPlanned) {
        *text += u"What " + archive + u" holds of it could not be read.\n";
        return;
    }
    std::vector<ReapplyLine> lost = LostAttributes(details);
    if (lost.empty()) {
        *text += u"The newest trusted backup, " + archive + u", holds nothing the tombstone lost.\n";
    } else {
        *text += u"Lost since the newest trusted backup, " + archive + u":\n";
        size_t shown = 0;
        for (const ReapplyLine& line : lost) {
            if (shown++ == kMostShownLost) {
                *text += moreLine(lost.size() - kMostShownLost, u"line", u"lines");
                break;
            }
            std::u16string what = line.membership ? u"member of " + HarmlessText(line.name)
                                                  : HarmlessText(line.name) + u" (" +
                                                        counted(line.values, u"value", u"values") + u")";
            *text += u"  " + what + u": " + outcomeText(line) + u"\n";
        }
    }
    if (!ReapplyOffered(plan)) {
        *text += u"Re-apply is not offered: nothing of this backup would be written back.\n";
        return;
    }
    std::u16string offer = u"The Restore Plan offers \"Re-apply\": it writes " +
                           counted(plan.wouldWrite.size(), u"attribute", u"attributes");
    if (!plan.wouldJoin.empty()) offer += u" and joins " + counted(plan.wouldJoin.size(), u"group", u"groups");
    if (!plan.sensitive.empty()) offer += u", " + number(plan.sensitive.size()) + u" more only with your consent";
    *text += offer + u".\n";
}

}  // namespace

std::vector<ReapplyLine> LostAttributes(const TombstoneDetails& details) {
    std::set<std::u16string> kept;
    for (const KeptAttribute& attribute : details.kept) kept.insert(lumivel::FoldCase(attribute.name));
    std::vector<ReapplyLine> lost;
    for (const ReapplyLine& line : details.reapply.reapplyLines)
        if (line.membership || !kept.count(lumivel::FoldCase(line.name))) lost.push_back(line);
    return lost;
}

std::u16string DetailsText(const TombstoneDetails& details) {
    std::u16string text = HarmlessText(details.name) + u"\n\n";
    appendKept(details, &text);
    text += u"\n";
    appendArchives(details, &text);
    appendLost(details, &text);
    return text;
}

std::u16string ReadingDetailsText(std::u16string_view name) {
    return HarmlessText(name) + u"\n\nReading what the directory kept of it and the backups that hold it...";
}

std::u16string SelectionDetailsText(const std::vector<std::u16string>& names) {
    constexpr size_t kNamesShown = 10;
    std::u16string text = counted(names.size(), u"deleted object", u"deleted objects") + u" selected";
    for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) text += (i ? u", " : u": ") + HarmlessText(names[i]);
    if (names.size() > kNamesShown) text += u", ...";
    return text + u".\n\nSelect one alone to see what the directory kept of it and which backups hold it.";
}

std::u16string NodeDetailsText() {
    return u"Select a deleted object to see what the directory kept of it, the backups that hold it, and what "
           u"re-applying the newest one would bring back.";
}

}  // namespace revivo
