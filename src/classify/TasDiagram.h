#pragma once

#include <array>
#include <string>
#include <vector>

// The total alkali-silica (TAS) diagram of volcanic rocks: the fields of
// Le Bas et al. (1986) as polygons in (SiO2, Na2O + K2O) wt%, and the
// alkaline/subalkaline line of Irvine & Baragar (1971).
//
// A point on an edge shared by two fields belongs to the field on its
// right (higher SiO2); on a horizontal edge, to the field above it. So the
// fields never overlap: every point of the diagram has exactly one name,
// and a point on the diagram's outer right or upper edge has none.
namespace tas {

struct Vertex {
    double silica;
    double alkali;
};

struct Field {
    const char* name;
    std::vector<Vertex> outline;
    Vertex label; // where the name is written on the diagram
};

const std::vector<Field>& fields();
const std::vector<Vertex>& alkalineLine();

// The index of the field holding the point, or -1 outside the diagram.
int fieldAt(double silica, double alkali);

// The plutonic rock Middlemost (1994) gives for a TAS field, or for a
// refined volcanic name of one (alkali basalt, trachydacite, basanite...);
// the name itself when it has none (the high-Mg names, kOutside).
std::string plutonicName(const std::string& volcanicName);

constexpr const char* kOutside = "outside the diagram";
constexpr const char* kNoPoint = "no point";

} // namespace tas
