#pragma once

#include <optional>
#include <variant>
#include <vector>

namespace staywake {

/// A point in drawing space, y upwards.
struct PathPoint {
    double x = 0;
    double y = 0;

    friend constexpr bool operator==(PathPoint, PathPoint) = default;
};

/// A width and height in points.
struct PathSize {
    double width = 0;
    double height = 0;

    friend constexpr bool operator==(PathSize, PathSize) = default;
};

/// A rectangle in drawing space, y upwards: (x, y) is its bottom-left corner.
struct PathRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    constexpr double minX() const { return x; }
    constexpr double maxX() const { return x + width; }
    constexpr double minY() const { return y; }
    constexpr double maxY() const { return y + height; }
    constexpr PathSize size() const { return PathSize{width, height}; }

    /// The rectangle grown by `amount` on every side (shrunk when negative).
    constexpr PathRect grownBy(double amount) const {
        return PathRect{x - amount, y - amount, width + 2 * amount, height + 2 * amount};
    }

    constexpr bool contains(PathPoint point) const {
        return point.x >= minX() && point.x <= maxX() && point.y >= minY() && point.y <= maxY();
    }

    friend constexpr bool operator==(PathRect, PathRect) = default;
};

/// An outline as a list of drawing commands, in drawing space (y upwards), so that a
/// shape can be checked without a renderer and handed to any of them.
class PathData {
public:
    struct MoveTo {
        PathPoint point;
        friend bool operator==(const MoveTo&, const MoveTo&) = default;
    };
    struct LineTo {
        PathPoint point;
        friend bool operator==(const LineTo&, const LineTo&) = default;
    };
    /// A circular arc of `radius` tangent to the line from the current point to `tangent1End`
    /// and to the line from `tangent1End` to `tangent2End`, reached by a straight line from the
    /// current point. Ends on the second line. Degenerate (no radius, or the three points in a
    /// line), it is a straight line to `tangent1End`.
    struct TangentArc {
        PathPoint tangent1End;
        PathPoint tangent2End;
        double radius = 0;
        friend bool operator==(const TangentArc&, const TangentArc&) = default;
    };
    /// A quadratic Bézier curve.
    struct QuadCurveTo {
        PathPoint control;
        PathPoint point;
        friend bool operator==(const QuadCurveTo&, const QuadCurveTo&) = default;
    };
    /// A closed ellipse inscribed in `rect`, a subpath of its own.
    struct Ellipse {
        PathRect rect;
        friend bool operator==(const Ellipse&, const Ellipse&) = default;
    };
    struct Close {
        friend bool operator==(const Close&, const Close&) = default;
    };
    using Command = std::variant<MoveTo, LineTo, TangentArc, QuadCurveTo, Ellipse, Close>;

    /// A tangent arc worked out from the point where it begins: the straight line runs from
    /// the current point to `start`, the arc from `start` to `end` around `center`.
    /// Angles are in radians from the positive x axis, counter-clockwise (y upwards);
    /// `sweep` is negative for a clockwise arc.
    struct ResolvedArc {
        PathPoint start;
        PathPoint end;
        PathPoint center;
        double radius = 0;
        double startAngle = 0;
        double sweep = 0;
    };

    void moveTo(PathPoint point);
    void lineTo(PathPoint point);
    void addArc(PathPoint tangent1End, PathPoint tangent2End, double radius);
    void quadCurveTo(PathPoint control, PathPoint point);
    void addEllipse(PathRect rect);
    void closeSubpath();
    /// Appends every command of `other`.
    void append(const PathData& other);

    const std::vector<Command>& commands() const { return commands_; }
    bool isEmpty() const { return commands_.empty(); }

    /// Every point the path passes through or is pulled towards (end points, arc tangent
    /// points, curve controls, ellipse corners), in order: what geometry checks look at.
    std::vector<PathPoint> points() const;

    /// The arc that `arc` describes when drawn from `current`; nothing when it is a straight
    /// line.
    static std::optional<ResolvedArc> resolve(PathPoint current, const TangentArc& arc);

    friend bool operator==(const PathData&, const PathData&) = default;

private:
    std::vector<Command> commands_;
};

} // namespace staywake
