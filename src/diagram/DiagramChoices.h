#pragma once

#include "schema/Column.h"

#include <utility>

// The choices the diagram and map windows offer, in their lists' order.
namespace diagram {

// The diagrams: the label shown and the keyword the classers and
// `quarzel-db classify --diagram` know it by ("harker:" takes the column
// after it).
inline constexpr std::pair<const char*, const char*> kDiagrams[] = {
    {"TAS", "tas"},
    {"TAS, plutonic names", "tas-plutonic"},
    {"K2O against SiO2", "k2o"},
    {"AFM", "afm"},
    {"Shand's index", "shand"},
    {"Harker diagram", "harker:"},
    {"Harker page (eight)", "harker"},
    {"Granites: Rb against Y + Nb", "pearce-rb-ynb"},
    {"Granites: Nb against Y", "pearce-nb-y"},
    {"Granites: Rb against Yb + Ta", "pearce-rb-ybta"},
    {"Granites: Ta against Yb", "pearce-ta-yb"},
    {"V against Ti (Shervais)", "ti-v"},
    {"Th/Yb against Nb/Yb", "th-nb-yb"},
    {"TiO2/Yb against Nb/Yb", "ti-nb-yb"},
    {"Basalts: Ti/100 - Zr - 3Y", "ti-zr-y"},
    {"Basalts: Hf/3 - Th - Ta", "hf-th-ta"},
    {"Basalts: 2Nb - Zr/4 - Y", "nb-zr-y"},
    {"REE pattern", "ree"},
    {"Multi-element pattern", "spider"},
};

// The text columns the points may be coloured by.
inline constexpr schema::Column kColourColumns[] = {
    schema::Column::Rockname, schema::Column::Geologist, schema::Column::Location,
    schema::Column::SampleNumber, schema::Column::Date};

} // namespace diagram
