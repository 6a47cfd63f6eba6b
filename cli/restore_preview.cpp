#include "cli/restore_preview.h"

#include "cli/cli_output.h"
#include "cli/output_schemas.h"
#include "cli/record_output.h"
#include "cli/terminal_text.h"

namespace lumivel_cli {

namespace {

Json optional(const std::optional<bool>& value) { return value ? Json(*value) : Json(); }
Json textOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

std::string rightsLine(const RestorePreview& preview) {
    std::string verdict = !preview.mayReanimate ? "unknown" : *preview.mayReanimate ? "yes" : "NO";
    return "may reanimate: " + verdict + " (" + TerminalText(preview.rights) + ")";
}

std::string joinedNames(const PreviewReapply& reapply, const std::string& outcome, bool membership, bool reasons) {
    std::string names;
    for (const PreviewValue& value : reapply.values) {
        if (value.outcome != outcome || value.membership != membership) continue;
        names += (names.empty() ? "" : ", ") + TerminalText(value.name);
        if (reasons && !value.reason.empty()) names += " (" + TerminalText(value.reason) + ")";
    }
    return names;
}

std::string reapplyLines(const PreviewReapply& reapply) {
    if (reapply.archive.empty()) return "  nothing to re-apply: " + TerminalText(reapply.reason) + "\n";
    std::string out = "  re-applied from " + TerminalText(reapply.archive) + ":\n";
    auto line = [&](const char* label, const std::string& names) {
        if (!names.empty()) out += std::string("    ") + label + names + "\n";
    };
    line("would write (where the directory lets you): ", joinedNames(reapply, "WouldWrite", false, false));
    line("would join: ", joinedNames(reapply, "WouldWrite", true, false));
    line("withheld without --reapply-sensitive: ", joinedNames(reapply, "Withheld", false, true));
    line("groups withheld without --reapply-sensitive: ", joinedNames(reapply, "Withheld", true, true));
    line("not writable back: ", joinedNames(reapply, "Refused", false, true) + joinedNames(reapply, "Refused", true, true));
    std::string sensitive;
    for (const PreviewValue& value : reapply.values)
        if (value.sensitive && value.outcome == "WouldWrite")
            sensitive += (sensitive.empty() ? "" : ", ") + TerminalText(value.name);
    line("written with your consent (--reapply-sensitive): ", sensitive);
    return out;
}

Json reapplyJson(const PreviewReapply& reapply) {
    Json values = Json::array();
    for (const PreviewValue& value : reapply.values)
        values.push_back({{"name", value.name},
                          {"outcome", value.outcome},
                          {"reason", value.reason},
                          {"membership", value.membership},
                          {"sensitive", value.sensitive}});
    return {{"archive", textOrNull(reapply.archive)}, {"reason", textOrNull(reapply.reason)}, {"values", values}};
}

std::string tree(const std::vector<RestorePreview>& previews) {
    std::string out = "Dry run: nothing is changed.\n";
    for (const RestorePreview& preview : previews) {
        out += "\n" + TerminalText(preview.requested) + "\n";
        if (!preview.found) {
            out += "  not found among the listed tombstones\n";
            continue;
        }
        out += "  " + rightsLine(preview) + "\n";
        if (!preview.missingParent.empty())
            out += "  deleted parent " + TerminalText(preview.missingParent) +
                   " is no longer listed: it is recreated from a backup archive first (--from-backup)\n";
        std::string indent = "  ";
        for (size_t i = 0; i < preview.objects.size(); ++i) {
            const PreviewObject& object = preview.objects[i];
            bool last = i + 1 == preview.objects.size();
            out += indent + (i ? "`- " : "") + TerminalText(object.name) + " (" +
                   TerminalText(object.className) + ")" + (last ? "" : ", a deleted parent, comes back first") + "\n";
            std::string detail = indent + (i ? "   " : "") + "  ";
            out += detail + "as " + (object.target.empty() ? std::string("(below the recreated parent)")
                                                           : TerminalText(object.target)) + "\n";
            if (object.nameTaken) out += detail + "the name is taken in the forest: a new name is needed (--new-name)\n";
            if (object.mayCreate && !*object.mayCreate)
                out += detail + "the caller may not create a " + TerminalText(object.className) + " there\n";
            if (!object.expiresUtc.empty()) out += detail + "expires " + LocalTimeText(object.expiresUtc) + "\n";
            if (i) indent += "   ";
        }
        if (preview.reapply) out += reapplyLines(*preview.reapply);
    }
    return out;
}

Record planRecord(const RestorePreview& preview) {
    Record record;
    record.set("requested", preview.requested).set("found", preview.found);
    if (!preview.found) return record;
    Json objects = Json::array();
    for (size_t i = 0; i < preview.objects.size(); ++i) {
        const PreviewObject& object = preview.objects[i];
        objects.push_back({{"name", object.name},
                           {"class", object.className},
                           {"tombstone", object.tombstone},
                           {"target", textOrNull(object.target)},
                           {"deletedParent", i + 1 < preview.objects.size()},
                           {"nameTaken", object.nameTaken},
                           {"mayCreate", optional(object.mayCreate)},
                           {"expiresUtc", UtcTime(object.expiresUtc)}});
    }
    record.set("mayReanimate", optional(preview.mayReanimate))
        .set("rights", preview.rights)
        .set("missingParent", textOrNull(preview.missingParent))
        .set("objects", std::move(objects));
    if (preview.reapply) record.set("reapply", reapplyJson(*preview.reapply));
    return record;
}

// A row per object of each plan, the plan's own fields repeated; a plan of a tombstone that
// is not listed is one row without an object.
std::vector<Record> stepRecords(const std::vector<RestorePreview>& previews) {
    std::vector<Record> steps;
    for (const RestorePreview& preview : previews) {
        Record plan = planRecord(preview);
        Json objects = plan.values.contains("objects") ? plan.values["objects"] : Json::array();
        plan.values.erase("objects");
        plan.values.erase("rights");
        plan.values.erase("reapply");
        if (objects.empty()) steps.push_back(plan);
        for (const Json& object : objects) {
            Record step = plan;
            for (const auto& [key, value] : object.items()) step.set(key.c_str(), value);
            steps.push_back(std::move(step));
        }
    }
    return steps;
}

}  // namespace

std::string FormatPreviews(const std::vector<RestorePreview>& previews, OutputFormat format) {
    switch (format) {
        case OutputFormat::Table: return tree(previews);
        case OutputFormat::Tsv: return FormatRecords(kDryRunStepSchema, stepRecords(previews), format);
        case OutputFormat::Json: break;
    }
    std::vector<Record> plans;
    for (const RestorePreview& preview : previews) plans.push_back(planRecord(preview));
    return FormatRecords(kDryRunSchema, plans, format, Json{{"dryRun", true}});
}

}  // namespace lumivel_cli
