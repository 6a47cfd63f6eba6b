#include "cli/restore_preview.h"

#include "cli/cli_output.h"
#include "cli/terminal_text.h"

namespace lumivel_cli {

namespace {

std::string optionalJson(const std::optional<bool>& value) {
    return value ? (*value ? "true" : "false") : "null";
}

std::string rightsLine(const RestorePreview& preview) {
    std::string verdict = !preview.mayReanimate ? "unknown" : *preview.mayReanimate ? "yes" : "NO";
    return "may reanimate: " + verdict + " (" + TerminalText(preview.rights) + ")";
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
    }
    return out;
}

std::string json(const std::vector<RestorePreview>& previews) {
    std::string out = "{\"dryRun\": true, \"plans\": [";
    for (size_t p = 0; p < previews.size(); ++p) {
        const RestorePreview& preview = previews[p];
        out += p ? ",\n  {" : "\n  {";
        out += "\"requested\": " + JsonString(preview.requested) + ", \"found\": " + (preview.found ? "true" : "false");
        if (preview.found) {
            out += ", \"mayReanimate\": " + optionalJson(preview.mayReanimate) + ", \"rights\": " +
                   JsonString(preview.rights) + ", \"missingParent\": " +
                   (preview.missingParent.empty() ? std::string("null") : JsonString(preview.missingParent)) +
                   ", \"objects\": [";
            for (size_t i = 0; i < preview.objects.size(); ++i) {
                const PreviewObject& object = preview.objects[i];
                out += std::string(i ? ", " : "") + "{\"name\": " + JsonString(object.name) +
                       ", \"class\": " + JsonString(object.className) + ", \"tombstone\": " +
                       JsonString(object.tombstone) + ", \"target\": " +
                       (object.target.empty() ? std::string("null") : JsonString(object.target)) +
                       ", \"deletedParent\": " + (i + 1 < preview.objects.size() ? "true" : "false") +
                       ", \"nameTaken\": " + (object.nameTaken ? "true" : "false") +
                       ", \"mayCreate\": " + optionalJson(object.mayCreate) + ", \"expiresUtc\": " +
                       (object.expiresUtc.empty() ? std::string("null") : JsonString(object.expiresUtc)) + "}";
            }
            out += "]";
        }
        out += "}";
    }
    return out + (previews.empty() ? "]}\n" : "\n]}\n");
}

}  // namespace

std::string FormatPreviews(const std::vector<RestorePreview>& previews, OutputFormat format) {
    return format == OutputFormat::Json ? json(previews) : tree(previews);
}

}  // namespace lumivel_cli
