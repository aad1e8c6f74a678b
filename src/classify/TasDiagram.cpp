#include "TasDiagram.h"

#include <algorithm>
#include <utility>

namespace tas {

const std::vector<Field>& fields() {
    // Tephrite and basanite share one field, as do trachyte and
    // trachydacite: the norm tells them apart (see norm/RockName).
    static const std::vector<Field> f = {
        {"Picrobasalt", {{41, 3}, {45, 3}, {45, 2}, {45, 0}, {41, 0}}, {43, 1.3}},
        {"Basalt", {{45, 0}, {45, 2}, {45, 5}, {52, 5}, {52, 0}}, {48.5, 1.2}},
        {"Basaltic andesite", {{52, 0}, {52, 5}, {57, 5.9}, {57, 0}}, {54.5, 1.2}},
        {"Andesite", {{57, 0}, {57, 5.9}, {63, 7}, {63, 0}}, {60, 1.2}},
        {"Dacite", {{63, 0}, {63, 7}, {69, 8}, {77.3, 0}}, {67, 1.2}},
        {"Rhyolite", {{69, 8}, {69, 13}, {85.9, 6.8}, {87.5, 4.7}, {77.3, 0}}, {77, 7.5}},
        {"Trachybasalt", {{45, 5}, {49.4, 7.3}, {52, 5}}, {48.8, 5.9}},
        {"Basaltic trachyandesite", {{49.4, 7.3}, {53, 9.3}, {57, 5.9}, {52, 5}}, {52.9, 7.2}},
        {"Trachyandesite", {{53, 9.3}, {57.6, 11.7}, {61, 8.6}, {63, 7}, {57, 5.9}}, {57.8, 9.2}},
        // One field: trachyte and trachydacite are told apart by the norm's
        // quartz, not by a line.
        {"Trachyte / trachydacite",
         {{57.6, 11.7}, {61, 13.5}, {63, 16.2}, {69, 13}, {69, 8}, {63, 7}, {61, 8.6}},
         {64.5, 11.5}},
        {"Tephrite / basanite",
         {{41, 3}, {41, 7}, {45, 9.4}, {49.4, 7.3}, {45, 5}, {45, 3}},
         {43.8, 6.2}},
        {"Phonotephrite", {{45, 9.4}, {48.4, 11.5}, {53, 9.3}, {49.4, 7.3}}, {49, 9.4}},
        {"Tephriphonolite", {{48.4, 11.5}, {52.5, 14}, {57.6, 11.7}, {53, 9.3}}, {53, 11.8}},
        {"Phonolite",
         {{52.5, 14}, {52.5, 18}, {57, 18}, {63, 16.2}, {61, 13.5}, {57.6, 11.7}},
         {57, 16}},
        {"Foidite",
         {{35, 9},
          {37, 14},
          {52.5, 18},
          {52.5, 14},
          {48.4, 11.5},
          {45, 9.4},
          {41, 7},
          {41, 3},
          {37, 3}},
         {42, 11.5}},
    };
    return f;
}

// Middlemost (1994): each TAS field's plutonic rock, and the refined
// volcanic names carried over to it.
const std::pair<const char*, const char*> kPlutonic[] = {
    {"Picrobasalt", "Peridotgabbro"},
    {"Basalt", "Gabbro"},
    {"Alkali basalt", "Alkali gabbro"},
    {"Subalkali basalt", "Subalkali gabbro"},
    {"Basaltic andesite", "Gabbroic diorite"},
    {"Andesite", "Diorite"},
    {"Dacite", "Granodiorite"},
    {"Rhyolite", "Granite"},
    {"Peralkaline rhyolite", "Peralkaline granite"},
    {"Trachybasalt", "Monzogabbro"},
    {"Hawaiite", "Monzogabbro"},
    {"Potassic trachybasalt", "Monzogabbro"},
    {"Basaltic trachyandesite", "Monzodiorite"},
    {"Mugearite", "Monzodiorite"},
    {"Shoshonite", "Monzodiorite"},
    {"Trachyandesite", "Monzonite"},
    {"Benmoreite", "Monzonite"},
    {"Latite", "Monzonite"},
    {"Trachyte / trachydacite", "Syenite / quartz monzonite"},
    {"Trachyte", "Syenite"},
    {"Peralkaline trachyte", "Peralkaline syenite"},
    {"Trachydacite", "Quartz monzonite"},
    {"Tephrite / basanite", "Foid gabbro"},
    {"Tephrite", "Foid gabbro"},
    {"Basanite", "Foid gabbro"},
    {"Phonotephrite", "Foid monzodiorite"},
    {"Tephriphonolite", "Foid monzosyenite"},
    {"Phonolite", "Foid syenite"},
    {"Foidite", "Foidolite"},
};

std::string plutonicName(const std::string& volcanicName) {
    for (const auto& [volcanic, plutonic] : kPlutonic)
        if (volcanicName == volcanic)
            return plutonic;
    return volcanicName;
}

const std::vector<Vertex>& alkalineLine() {
    static const std::vector<Vertex> line = {{39.2, 0}, {40, 0.4},  {43.2, 2}, {45, 2.8},
                                             {48, 4},   {50, 4.75}, {53.7, 6}, {55, 6.4},
                                             {60, 8},   {65, 8.8},  {77.4, 10}};
    return line;
}

namespace {

// Even-odd rule for a point that lies on no edge.
bool inside(const std::vector<Vertex>& poly, double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Vertex& a = poly[i];
        const Vertex& b = poly[j];
        if ((a.alkali > y) != (b.alkali > y) &&
            x < (b.silica - a.silica) * (y - a.alkali) / (b.alkali - a.alkali) + a.silica)
            in = !in;
    }
    return in;
}

} // namespace

int fieldAt(double silica, double alkali) {
    // Moved a hair to the right and, much less, up: a point on a shared
    // edge then lies inside exactly one field, the one to its right (or
    // above, on a horizontal edge). The step is far below the two decimals
    // analyses are given in.
    const double x = silica + 1e-7;
    const double y = alkali + 1e-10;
    struct Box {
        double left = 1e9, right = -1e9, bottom = 1e9, top = -1e9;
    };
    // Each field's bounding box first: most fields are ruled out at once.
    static const std::vector<Box> boxes = [] {
        std::vector<Box> b(fields().size());
        for (std::size_t i = 0; i < fields().size(); ++i)
            for (const Vertex& v : fields()[i].outline) {
                b[i].left = std::min(b[i].left, v.silica);
                b[i].right = std::max(b[i].right, v.silica);
                b[i].bottom = std::min(b[i].bottom, v.alkali);
                b[i].top = std::max(b[i].top, v.alkali);
            }
        return b;
    }();
    const auto& all = fields();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Box& b = boxes[i];
        if (x < b.left || x > b.right || y < b.bottom || y > b.top)
            continue;
        if (inside(all[i].outline, x, y))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace tas
