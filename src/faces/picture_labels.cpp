#include "picture_labels.hpp"

#include "picture_style.hpp"

#include <algorithm>
#include <cmath>

namespace {

struct TagBox {
    double x, y, width, height; // top-left corner and size, in pixels
};

constexpr double tagHeight = 15, digitWidth = 7, tagPadding = 8, tagGap = 2;
constexpr double gridCell = 40; // of the grid that finds a tag's neighbours

// The tags placed so far in a panel, and a grid over them for the overlap test.
struct TagLayout {
    std::vector<TagBox> boxes;
    int columns = 1, rows = 1;
    std::vector<std::vector<int>> cells;
};

template <typename Visit>
void forEachCell(const TagLayout& layout, const TagBox& box, Visit&& visit)
{
    const auto cellOf = [](double v, int count) {
        return std::clamp(int(std::floor(v / gridCell)), 0, count - 1);
    };
    for (int r = cellOf(box.y, layout.rows); r <= cellOf(box.y + box.height, layout.rows); ++r) {
        for (int c = cellOf(box.x, layout.columns); c <= cellOf(box.x + box.width, layout.columns);
             ++c) {
            visit(std::size_t(r) * layout.columns + c);
        }
    }
}

bool fits(const TagLayout& layout, const Panel& panel, const TagBox& box)
{
    if (box.x < 1 || box.y < 1 || box.x + box.width > panel.width - 1 ||
        box.y + box.height > panel.height - 1) {
        return false;
    }
    bool free = true;
    forEachCell(layout, box, [&](std::size_t cell) {
        for (const int i : layout.cells[cell]) {
            const TagBox& other = layout.boxes[i];
            if (box.x < other.x + other.width + tagGap && other.x < box.x + box.width + tagGap &&
                box.y < other.y + other.height + tagGap && other.y < box.y + box.height + tagGap) {
                free = false;
            }
        }
    });
    return free;
}

void keep(TagLayout& layout, const TagBox& box)
{
    layout.boxes.push_back(box);
    forEachCell(layout, box, [&](std::size_t cell) {
        layout.cells[cell].push_back(int(layout.boxes.size() - 1));
    });
}

TagBox centredBox(double x, double y, double width)
{
    return {x - width / 2, y - tagHeight / 2, width, tagHeight};
}

// How much of the face lies under the box: its share of nine points spread over the box.
int coverage(const Panel& panel, const TagBox& box, int face)
{
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            count += faceAt(panel, box.x + box.width * (0.1 + 0.4 * i),
                            box.y + box.height * (0.1 + 0.4 * j)) == face;
        }
    }
    return count;
}

// Where the tag goes: over the point in sight that shows most of the face around it and leaves
// the tag clear of the others; else beside that point, on a leader; else over it, overlapping.
// `anchor` is set to the point the tag stands for.
TagBox chooseBox(const TagLayout& layout, const Panel& panel, const std::vector<gp_XYZ>& anchors,
                 int face, double width, gp_XYZ& anchor, bool& moved)
{
    int bestCoverage = -1;
    std::size_t best = 0;
    for (std::size_t i = 0; i < anchors.size(); ++i) {
        const TagBox box = centredBox(anchors[i].X(), anchors[i].Y(), width);
        const int covered = coverage(panel, box, face);
        if (covered > bestCoverage && fits(layout, panel, box)) {
            bestCoverage = covered;
            best = i;
        }
    }
    anchor = anchors[best];
    moved = false;
    if (bestCoverage >= 0) return centredBox(anchor.X(), anchor.Y(), width);

    anchor = anchors[0];
    moved = true;
    const double steps[8][2] = {{0, -1}, {1, -1}, {1, 0},  {1, 1},
                                {0, 1},  {-1, 1}, {-1, 0}, {-1, -1}};
    for (int ring = 1; ring <= 3; ++ring) {
        for (const auto& step : steps) {
            const double x = anchor.X() + step[0] * ring * (width / 2 + tagHeight);
            const double y = anchor.Y() + step[1] * ring * (tagHeight * 1.4);
            const TagBox box = centredBox(x, y, width);
            if (fits(layout, panel, box)) return box;
        }
    }
    moved = false;
    return centredBox(anchor.X(), anchor.Y(), width);
}

// Listed faces claim their places first; then faces in the order of their numbers.
std::vector<std::size_t> tagOrder(const std::vector<FaceRow>& rows, LabelChoice labels)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (isLabelled(rows[i], labels)) order.push_back(i);
    }
    std::stable_partition(order.begin(), order.end(),
                          [&](std::size_t i) { return rows[i].list != FaceList::none; });
    return order;
}

// The tag's box and number into `tags`; the line from the face to a tag moved aside into
// `leaders`, which go below every tag, so that no line crosses a number.
void appendTag(std::string& tags, std::string& leaders, const FaceRow& row, const TagBox& box,
               const gp_XYZ& anchor, bool moved)
{
    if (moved) {
        leaders += "<path d=\"";
        appendPoint(leaders, 'M', anchor.X(), anchor.Y());
        appendPoint(leaders, 'L', box.x + box.width / 2, box.y + box.height / 2);
        leaders += "\"/><circle r=\"2\" cx=\"";
        appendCoordinate(leaders, anchor.X());
        leaders += "\" cy=\"";
        appendCoordinate(leaders, anchor.Y());
        leaders += "\"/>\n";
    }
    const bool listed = row.list != FaceList::none;
    tags += "<g class=\"tag\" data-face=\"" + std::to_string(row.number) + "\"><rect rx=\"3\" x=\"";
    appendCoordinate(tags, box.x);
    tags += "\" y=\"";
    appendCoordinate(tags, box.y);
    tags += "\" width=\"";
    appendCoordinate(tags, box.width);
    tags += "\" height=\"";
    appendCoordinate(tags, box.height);
    tags += "\" fill=\"";
    appendColour(tags, listed ? listColour(row.list) : 0xffffff);
    tags += listed ? "\" stroke=\"#ffffff\" stroke-width=\"1.2\"" : "\" stroke=\"#444444\"";
    tags += "/><text x=\"";
    appendCoordinate(tags, box.x + box.width / 2);
    tags += "\" y=\"";
    // The baseline, so that the digits sit in the middle of the tag.
    appendCoordinate(tags, box.y + box.height - 4);
    tags += listed ? "\" fill=\"#ffffff\">" : "\">";
    tags += std::to_string(row.number) + "</text></g>\n";
}

} // namespace

bool isLabelled(const FaceRow& row, LabelChoice labels)
{
    return labels == LabelChoice::all ||
           (labels == LabelChoice::listed && row.list != FaceList::none);
}

void appendTags(std::string& svg, const Panel& panel, const std::vector<FaceRow>& rows,
                LabelChoice labels, std::vector<bool>& tagged)
{
    TagLayout layout;
    layout.columns = std::max(1, int(std::ceil(panel.width / gridCell)));
    layout.rows = std::max(1, int(std::ceil(panel.height / gridCell)));
    layout.cells.resize(std::size_t(layout.columns) * layout.rows);

    std::string tags, leaders;
    for (const std::size_t i : tagOrder(rows, labels)) {
        const FaceRow& row = rows[i];
        if (!row.hasLabelPoint) continue;
        std::vector<gp_XYZ> anchors;
        // A face visited twice is drawn under its first number.
        const int drawnAs = (row.sameAs != 0 ? row.sameAs : row.number) - 1;
        if (isInSight(panel, row.labelPoint, drawnAs)) {
            anchors.push_back(projectPoint(panel, row.labelPoint));
        }
        for (const gp_Pnt& point : row.otherLabelPoints) {
            if (isInSight(panel, point, drawnAs)) anchors.push_back(projectPoint(panel, point));
        }
        if (anchors.empty()) continue;

        const double width = tagPadding + digitWidth * double(std::to_string(row.number).size());
        bool moved = false;
        gp_XYZ anchor;
        const TagBox box = chooseBox(layout, panel, anchors, drawnAs, width, anchor, moved);
        keep(layout, box);
        appendTag(tags, leaders, row, box, anchor, moved);
        tagged[i] = true;
    }
    svg += "<g class=\"leaders\" fill=\"#222222\" stroke=\"#222222\">\n" + leaders + "</g>\n";
    svg += "<g class=\"tags\">\n" + tags + "</g>\n";
}
