#pragma once
// Command-line views of the projection catalogue: `globaro list` and
// `globaro describe`.

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace globaro::cli {

// what = "inputs" or "outputs": one line per projection in ascending id
// order, the id, a tab and the exact name. For outputs, `where` keeps only the
// rows for which every named catalogue predicate ("conformal", "equalArea",
// "drawn" ...) holds. Returns 0, or 2 (with a message on `err`) for anything
// else, or for a predicate the catalogue does not have.
int runList(std::string_view what, std::ostream& out, std::ostream& err, std::span<const std::string> where = {});

// kind = "input" or "output", idOrName = a decimal id or an exact name.
// Prints one JSON object describing the projection: id, name, and for
// outputs the shape word, family, keywords in order, every predicate as a
// boolean, the polyhedron kind (-1 when none) and, for polyhedral outputs,
// the model built for a whole net in a 2:1 frame (kind, faces, net vertices,
// triangles, mark triangles, pieces, error code; null otherwise). Returns 0,
// or 2 with a one-line message on `err` for an unknown kind, id or name.
int runDescribe(std::string_view kind, std::string_view idOrName, std::ostream& out, std::ostream& err);

// Why a text names no projection, with the nearest name when it looks like a
// slip: no output projection "mollweid"; did you mean "Mollweide"? (see
// globaro list outputs)
std::string unknownOutputText(std::string_view text);
std::string unknownInputText(std::string_view text);

}  // namespace globaro::cli
