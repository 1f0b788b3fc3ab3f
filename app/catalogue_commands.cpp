// `globaro list` and `globaro describe`: the catalogue as text and JSON.

#include "app/catalogue_commands.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "polyhedra/poly_spec.h"
#include "polyhedra/poly_summary.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "projection/output_row.h"

namespace globaro::cli {
namespace {

using Json = nlohmann::ordered_json;

// After the name of an output that has no mapping yet, in `list outputs`.
constexpr std::string_view kNotDrawnMark = " (not drawn yet)";

// The frame the described model is fitted into: twice as wide as high.
constexpr float kDescribeFrameHeight = 0.5f;

// Quotes user text for a message, keeping it on one line.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            out += '?';
        } else {
            out += c;
        }
    }
    out += "'";
    return out;
}

Json describeOutput(ProjectionId id) {
    Json j;
    j["kind"] = "output";
    j["id"] = id;
    j["name"] = std::string(outputProjectionName(id));
    j["drawn"] = outputIsDrawn(id);
    if (const OutputRow* row = findOutputRow(id); row && !row->about.empty())
        j["construction"] = std::string(row->about);
    j["shapeWord"] = std::string(outputShapeWord(id));
    j["family"] = std::string(projectionFamilyName(outputFamily(id)));
    Json keywords = Json::array();
    for (const std::string& word : outputKeywords(id)) keywords.push_back(word);
    j["keywords"] = std::move(keywords);
    for (const OutputPredicate& p : outputPredicates()) {
        j[std::string(p.name)] = p.test(id);
    }
    j["shadedGlobeVariant"] = shadedGlobe(id);
    const PolySpec poly = polySpecFor(id);
    j["polyKind"] = poly.kind;
    if (poly.kind != kNoPolyKind) {
        j["polySpec"] =
            Json{{"mode", poly.mode}, {"param", poly.param}, {"angle", poly.angle}, {"source", poly.source}};
    } else {
        j["polySpec"] = nullptr;
    }
    // The model as a render of the whole net builds it, in a 2:1 frame.
    PolyModelSummary model;
    if (summarisePolyOutput(id, kDescribeFrameHeight, model)) {
        j["polyModel"] = Json{{"frame", "2:1"},
                              {"kind", model.kind},
                              {"faces", model.faces},
                              {"netVertices", model.netVertices},
                              {"triangles", model.triangles},
                              {"markTriangles", model.markTriangles},
                              {"pieces", model.pieces},
                              {"errorCode", model.errorCode}};
    } else {
        j["polyModel"] = nullptr;
    }
    return j;
}

Json describeInput(InputProjectionId id) {
    Json j;
    j["kind"] = "input";
    j["id"] = id;
    j["name"] = std::string(inputProjectionName(id));
    return j;
}

}  // namespace

int runList(std::string_view what, std::ostream& out, std::ostream& err, std::span<const std::string> where) {
    // The tests `where` names, looked up before anything is printed.
    std::vector<bool (*)(ProjectionId) noexcept> tests;
    for (const std::string& name : where) {
        if (name == "drawn") {
            tests.push_back(&outputIsDrawn);
            continue;
        }
        const auto predicates = outputPredicates();
        const auto found = std::ranges::find(predicates, std::string_view(name), &OutputPredicate::name);
        if (found == predicates.end()) {
            err << "globaro list: --where " << quoted(name)
                << " is not a catalogue predicate (see the booleans of globaro describe output ID)\n";
            return kExitUsage;
        }
        tests.push_back(found->test);
    }
    if (!tests.empty() && what != "outputs") {
        err << "globaro list: --where applies to outputs only, not " << quoted(what) << '\n';
        return kExitUsage;
    }
    if (what == "inputs") {
        for (const InputProjectionInfo& row : inputProjections()) {
            out << row.id << '\t' << row.name << '\n';
        }
        return 0;
    }
    if (what == "outputs") {
        for (const OutputProjectionInfo& row : outputProjections()) {
            if (!std::ranges::all_of(tests, [&](auto test) { return test(row.id); })) continue;
            out << row.id << '\t' << row.name;
            if (!outputIsDrawn(row.id)) out << kNotDrawnMark;
            out << '\n';
        }
        return 0;
    }
    err << "globaro list: cannot list " << quoted(what) << " (expected inputs or outputs)\n";
    return kExitUsage;
}

int runDescribe(std::string_view kind, std::string_view idOrName, std::ostream& out, std::ostream& err) {
    if (kind == "output") {
        const auto id = findOutputProjection(idOrName);
        if (!id) {
            err << "globaro describe: " << unknownOutputText(idOrName) << '\n';
            return kExitUsage;
        }
        out << describeOutput(*id).dump(2) << '\n';
        return 0;
    }
    if (kind == "input") {
        const auto id = findInputProjection(idOrName);
        if (!id) {
            err << "globaro describe: " << unknownInputText(idOrName) << '\n';
            return kExitUsage;
        }
        out << describeInput(*id).dump(2) << '\n';
        return 0;
    }
    err << "globaro describe: unknown kind " << quoted(kind) << " (expected input or output)\n";
    return kExitUsage;
}

namespace {
std::string unknownText(const char* kind, std::string_view text, std::string_view nearest) {
    std::string line = std::string("no ") + kind + " projection has the id or name " + quoted(text);
    if (!nearest.empty()) line += "; did you mean " + quoted(nearest) + "?";
    return line + " (see globaro list " + kind + "s)";
}
}  // namespace

std::string unknownOutputText(std::string_view text) { return unknownText("output", text, nearestOutputName(text)); }
std::string unknownInputText(std::string_view text) { return unknownText("input", text, nearestInputName(text)); }

}  // namespace globaro::cli
