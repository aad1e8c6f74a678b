#pragma once

#include "Diagram.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The trace-element discrimination diagrams: granites after Pearce, Harris
// & Tindle (1984), V against Ti after Shervais (1982), and the Th/Yb and
// TiO2/Yb arrays against Nb/Yb after Pearce (2008), and the basalt
// ternaries Ti/100-Zr-3Y (Pearce & Cann 1973), Hf/3-Th-Ta (Wood 1980) and
// 2Nb-Zr/4-Y (Meschede 1986). Each reads amounts in
// ppm from the values kept beside a row; a row missing an element, or with
// one below detection or not above 0, has no point and says which.
//
// Fields are polygons of the published vertices, in the plane the diagram
// is drawn in (log10 of the quantity on a log axis, where the published
// lines are straight), cut to the published frame. A point is classed only
// inside that frame (Ti-V by its Ti/V ratio alone); beyond it a point is
// "outside the diagram". A ternary's fields are given in its triangle's
// plane (see inTriangle), every point falls inside the triangle, and a point
// in no field is "outside the fields". Widget-free.
namespace chart {

class FieldDiagram : public Diagram {
public:
    // Both quantities of a row from its amounts in elements() order (all
    // known and above 0 when called).
    using Quantities = std::function<Vertex(const double* ppm)>;
    // The class of a point's quantities: an index into classes(), or -1.
    using Classer = std::function<int(const Vertex& quantities)>;

    struct Layout {
        std::string keyword, title, xTitle, yTitle;
        std::vector<std::string> elements;
        bool log = true;            // both axes
        Box frame;                  // in the quantities' units
        std::vector<Region> fields; // in the quantities' units; classes() in this order
        std::vector<Curve> lines;   // drawn beside the fields' outlines
        // Names drawn at their places rather than fitted into their field
        // (a field too narrow for its name); the field's own is left out.
        std::vector<Region> names;
        Quantities quantities;
        Classer classer; // when the fields alone do not class a point
        std::string unclassed = "outside the diagram";
        // A ternary: quantities() gives the point in the triangle (from
        // inTriangle), the frame is the triangle, the axes are linear.
        bool ternary = false;
        std::vector<std::string> corners; // lower left, lower right, top
        // Per field, what its drawn name ("A") stands for: the class is then
        // "A (meaning)" and the legend keys it.
        std::vector<std::string> meanings;
    };
    explicit FieldDiagram(Layout layout);

    std::string keyword() const override { return layout_.keyword; }
    std::string title() const override { return layout_.title; }
    const std::vector<int>& columns() const override;
    Place place(const double*, bool) const override { return {}; }
    const std::vector<std::string>& classes() const override { return classes_; }
    std::string unclassed() const override { return layout_.unclassed; }
    Box whole() const override { return plane_; }
    std::string xTitle(bool) const override { return layout_.xTitle; }
    std::string yTitle(bool) const override { return layout_.yTitle; }
    std::vector<Region> regions() const override { return regions_; }
    std::vector<Curve> curves() const override { return curves_; }
    bool widenedToData() const override { return !layout_.log && !layout_.ternary; }
    bool ternary() const override { return layout_.ternary; }
    std::vector<std::string> corners() const override { return layout_.corners; }
    std::vector<std::string> key() const override;
    const std::vector<std::string>& elements() const override { return layout_.elements; }
    Place placeAmounts(const Amount* ppm) const override;
    const std::vector<std::string>& noPointReasons() const override { return reasons_; }
    bool logX() const override { return layout_.log; }
    bool logY() const override { return layout_.log; }

    // The plane's point of a quantities' point, and back.
    Vertex toPlane(const Vertex& q) const;
    Vertex fromPlane(const Vertex& p) const;

    // The triangle's point of three quantities (top, lower left, lower
    // right; not all 0), recalculated to 100: 0-100 across, 0-86.6 up.
    static Vertex inTriangle(double top, double left, double right);

private:
    Layout layout_;
    Box plane_;
    std::vector<std::string> classes_;
    std::vector<std::string> reasons_;
    std::vector<Region> regions_; // in the plane, cut to the frame
    std::vector<Curve> curves_;
};

// One of discriminationKeywords(), or nullptr.
std::unique_ptr<Diagram> makeDiscrimination(const std::string& keyword);

// A point of the line through a and b (on log paper: in the logarithms of
// both) where it reaches the given x, or the given y. For extending a
// published line to the frame.
Vertex logAtX(const Vertex& a, const Vertex& b, double x);
Vertex logAtY(const Vertex& a, const Vertex& b, double y);

} // namespace chart
