#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

// A classification or variation diagram of analyses: which columns it
// reads, where a row falls on its plane, the class that place gives, and
// the lines and fields it is drawn with. Widget-free; the diagram window
// and `quarzel-db classify --diagram` draw and print from it.
namespace chart {

struct Vertex {
    double x;
    double y;
};

// A named field, drawn as an outline with its name inside.
struct Region {
    std::string name;
    std::vector<Vertex> outline;
    Vertex label;
    // Edges drawn dashed, as the figure draws them (edge i runs from
    // outline[i] to the next vertex); the rest solid.
    std::vector<std::size_t> dashedEdges = {};
};

// A boundary between classes, drawn as a line.
struct Curve {
    std::string name;
    std::vector<Vertex> points;
    bool dashed = false;
    // Published over its points only: drawn on beyond its ends, along its end
    // segments, to the frame's edges, in a lighter dashed line.
    bool continued = false;
};

struct Box {
    double left, bottom, width, height;
};

// Where one analysis falls: its point in the diagram's plane and its class
// (an index into classes(), -1 for none: outside every field). A row
// without a point may say why: an index into noPointReasons(), -1 for none.
struct Place {
    bool valid = false;
    double x = 0;
    double y = 0;
    int cls = -1;
    int why = -1;
};

// An element's amount in ppm from the values kept beside a row: NaN when
// none is kept; `limit` when what is kept is a detection limit.
struct Amount {
    double ppm = std::nan("");
    bool limit = false;
};

class Diagram {
public:
    virtual ~Diagram() = default;

    virtual std::string keyword() const = 0; // as --diagram takes it
    virtual std::string title() const = 0;
    // The table columns a row's place is worked out from, in the order
    // place() takes their values (NaN for one that holds no number).
    virtual const std::vector<int>& columns() const = 0;
    virtual Place place(const double* values, bool volatileFree) const = 0;
    virtual const std::vector<std::string>& classes() const = 0;
    // What a valid point without a class is called.
    virtual std::string unclassed() const { return "outside the diagram"; }

    // Drawing: the whole plane shown, axis titles, fields and lines. A
    // ternary diagram's plane is its triangle, 0-100 across and 0-86.6 up.
    virtual Box whole() const = 0;
    virtual bool ternary() const { return false; }
    // A ternary diagram's corners as named on the drawing: lower left, lower
    // right, top.
    virtual std::vector<std::string> corners() const { return {}; }
    // What the short names drawn in the fields stand for, a line each, for
    // the legend; empty where the drawn names say it all.
    virtual std::vector<std::string> key() const { return {}; }
    virtual std::string xTitle(bool volatileFree) const = 0;
    virtual std::string yTitle(bool volatileFree) const = 0;
    virtual std::vector<Region> regions() const { return {}; }
    virtual std::vector<Curve> curves() const { return {}; }
    // Axes scaled to the points rather than fixed (variation diagrams).
    virtual bool scaledToData() const { return false; }
    // The whole plane widened to take in every point, so that none is
    // hidden beyond the axes (diagrams whose rows often fall beyond it).
    virtual bool widenedToData() const { return false; }

    // A diagram of trace elements reads the values kept beside each row
    // rather than the table's columns: their symbols, in the order
    // placeAmounts() takes them. Ti stands for the row's TiO2 where no Ti
    // value is kept. Empty for a diagram of the table's columns alone.
    virtual const std::vector<std::string>& elements() const {
        static const std::vector<std::string> none;
        return none;
    }
    virtual Place placeAmounts(const Amount* /*ppm*/) const { return {}; }
    // What Place::why names ("no Rb", "Y below detection").
    virtual const std::vector<std::string>& noPointReasons() const {
        static const std::vector<std::string> none;
        return none;
    }
    // A log axis: the plane's coordinate is the decimal logarithm of the
    // quantity on it, so that lines straight on log paper are straight here.
    virtual bool logX() const { return false; }
    virtual bool logY() const { return false; }
};

// tas, k2o, afm, shand, harker:COLUMN (an analysis column of the table,
// Mg# or FeOT), or one of discriminationKeywords(); nullptr for an unknown
// keyword.
std::unique_ptr<Diagram> makeDiagram(const std::string& keyword);

// The columns of the usual page of Harker diagrams.
const std::vector<std::string>& harkerPage();

// The trace-element discrimination diagrams, in the order they are listed.
const std::vector<std::string>& discriminationKeywords();

} // namespace chart
