// SPDX-License-Identifier: MIT
#include "art/artwork.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sabrel::art {

namespace {

// Shapes are given in picture coordinates (0..64, y down) and drawn on a canvas
// four times finer; each picture pixel is then the mean of its 4 x 4 samples,
// which smooths the edges without blurring the shapes.
constexpr int kScale = 4;
constexpr int kFine = kSize * kScale;
constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    std::uint8_t r, g, b;
};

struct Pt {
    double x, y;
};

// The palette: bright enough to stand out on the black page.
constexpr Rgb kFloor{64, 64, 72};
constexpr Rgb kCaseDark{92, 55, 24};
constexpr Rgb kCaseBody{184, 115, 51};
constexpr Rgb kLidBody{204, 134, 66};
constexpr Rgb kStrap{132, 80, 36};
constexpr Rgb kGold{236, 200, 72};
constexpr Rgb kSkin{242, 194, 143};
constexpr Rgb kHair{170, 84, 40};
constexpr Rgb kShirt{58, 143, 232};
constexpr Rgb kShirtFar{36, 100, 170};
constexpr Rgb kTrousers{86, 100, 176};
constexpr Rgb kTrousersFar{62, 72, 134};
constexpr Rgb kShoe{224, 224, 224};
constexpr Rgb kEye{16, 16, 16};
constexpr Rgb kSweat{150, 210, 255};
constexpr Rgb kStar{255, 236, 96};
constexpr Rgb kClothes[] = {
    {226, 64, 64}, {240, 240, 240}, {240, 128, 192}, {144, 208, 64}, {120, 200, 240}};

class Canvas {
  public:
    Canvas() : px_(std::size_t{kFine} * kFine * 3, 0) {}

    void FillPolygon(std::vector<Pt> poly, Rgb c) {
        for (Pt& p : poly) p = Map(p);
        double top = poly[0].y, bottom = poly[0].y;
        for (const Pt& p : poly) {
            top = std::min(top, p.y);
            bottom = std::max(bottom, p.y);
        }
        std::vector<double> xs;
        for (int row = FineFloor(top); row <= FineFloor(bottom); ++row) {
            double y = (row + 0.5) / kScale;
            xs.clear();
            for (std::size_t i = 0; i < poly.size(); ++i) {
                Pt a = poly[i], b = poly[(i + 1) % poly.size()];
                if ((a.y <= y) != (b.y <= y))
                    xs.push_back(a.x + (y - a.y) / (b.y - a.y) * (b.x - a.x));
            }
            std::sort(xs.begin(), xs.end());
            for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
                for (int col = FineFloor(xs[i]); col <= FineFloor(xs[i + 1]); ++col) {
                    double x = (col + 0.5) / kScale;
                    if (x >= xs[i] && x < xs[i + 1]) Put(col, row, c);
                }
            }
        }
    }

    void FillRect(double x0, double y0, double x1, double y1, Rgb c) {
        FillPolygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, c);
    }

    void FillEllipse(Pt centre, double rx, double ry, Rgb c) {
        centre = Map(centre);
        rx *= kZoom;
        ry *= kZoom;
        ForSamples(centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry, c,
                   [&](double x, double y) {
                       double dx = (x - centre.x) / rx, dy = (y - centre.y) / ry;
                       return dx * dx + dy * dy <= 1.0;
                   });
    }

    void FillCircle(Pt centre, double r, Rgb c) { FillEllipse(centre, r, r, c); }

    // A stroke of width `w` with round ends, as a limb or a strap is drawn.
    void Line(Pt a, Pt b, double w, Rgb c) {
        a = Map(a);
        b = Map(b);
        double r = w * kZoom / 2;
        ForSamples(std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::max(a.x, b.x) + r,
                   std::max(a.y, b.y) + r, c, [&](double x, double y) {
                       double vx = b.x - a.x, vy = b.y - a.y;
                       double len2 = vx * vx + vy * vy;
                       double t = len2 > 0 ? ((x - a.x) * vx + (y - a.y) * vy) / len2 : 0;
                       t = std::clamp(t, 0.0, 1.0);
                       double dx = x - (a.x + t * vx), dy = y - (a.y + t * vy);
                       return dx * dx + dy * dy <= r * r;
                   });
    }

    void Star(Pt centre, double r, Rgb c) {
        std::vector<Pt> poly;
        for (int i = 0; i < 8; ++i) {
            double angle = i * kPi / 4;
            double radius = (i % 2 == 0) ? r : r * 0.35;
            poly.push_back(
                {centre.x + radius * std::sin(angle), centre.y - radius * std::cos(angle)});
        }
        FillPolygon(poly, c);
    }

    Image Reduce() const {
        Image out{};
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                for (int ch = 0; ch < 3; ++ch) {
                    int sum = 0;
                    for (int sy = 0; sy < kScale; ++sy) {
                        for (int sx = 0; sx < kScale; ++sx) {
                            sum += px_[(static_cast<std::size_t>((y * kScale + sy) * kFine +
                                                                 x * kScale + sx)) *
                                           3 +
                                       ch];
                        }
                    }
                    out[(static_cast<std::size_t>(y * kSize + x)) * 3 + ch] =
                        static_cast<std::uint8_t>((sum + kScale * kScale / 2) / (kScale * kScale));
                }
            }
        }
        return out;
    }

  private:
    // The scenes are laid out low in a 64 x 64 box; this enlarges them a little
    // about the middle of the floor and lifts them so that they fill the picture.
    static constexpr double kZoom = 1.1;
    static Pt Map(Pt p) { return {32 + (p.x - 33) * kZoom, 48 + (p.y - 56) * kZoom}; }

    static int FineFloor(double v) { return static_cast<int>(std::floor(v * kScale)); }

    template <typename Inside>
    void ForSamples(double x0, double y0, double x1, double y1, Rgb c, Inside inside) {
        for (int row = FineFloor(y0); row <= FineFloor(y1); ++row) {
            for (int col = FineFloor(x0); col <= FineFloor(x1); ++col) {
                if (inside((col + 0.5) / kScale, (row + 0.5) / kScale)) Put(col, row, c);
            }
        }
    }

    void Put(int col, int row, Rgb c) {
        if (col < 0 || row < 0 || col >= kFine || row >= kFine) return;
        std::uint8_t* p = &px_[(static_cast<std::size_t>(row * kFine + col)) * 3];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }

    std::vector<std::uint8_t> px_;
};

// The suitcase lies on the floor with its lid on top, hinged at the back
// (right); the lid's front (left) end rises with the opening angle.
constexpr double kCaseLeft = 30, kCaseRight = 60;
constexpr double kBaseTop = 43, kBaseBottom = 56;
constexpr double kLidThickness = 5;
constexpr double kFloorY = 56.5;

Pt LidPoint(double x, double y, double angle) {
    double dx = x - kCaseRight, dy = y - kBaseTop;
    return {kCaseRight + dx * std::cos(angle) - dy * std::sin(angle),
            kBaseTop + dx * std::sin(angle) + dy * std::cos(angle)};
}

void DrawFloor(Canvas& c) {
    c.FillRect(1, kFloorY, 63, kFloorY + 1.2, kFloor);
}

// Clothes bulge out of the gap between base and lid, more the wider it is.
void DrawClothes(Canvas& c, double angle) {
    if (angle <= 0) return;
    int colour = 0;
    for (double s = 27; s >= 4; s -= 4.5) {
        double gap = s * std::tan(angle);
        double x = kCaseRight - s;
        c.FillCircle({x, kBaseTop - gap / 2}, gap / 2 + 1.6, kClothes[colour % 5]);
        ++colour;
    }
    // A sleeve hangs out over the front.
    double frontGap = (kCaseRight - kCaseLeft) * std::tan(angle);
    Pt from{kCaseLeft + 1, kBaseTop - frontGap / 2};
    Pt to{kCaseLeft - 1.5, kBaseTop + 7 - frontGap / 3};
    c.Line(from, to, 3, kClothes[0]);
    c.Line(to, {to.x - 0.2, to.y + 1.2}, 3, kClothes[1]);
}

void DrawBase(Canvas& c) {
    c.FillRect(kCaseLeft, kBaseTop, kCaseRight, kBaseBottom, kCaseDark);
    c.FillRect(kCaseLeft + 1, kBaseTop + 0.5, kCaseRight - 1, kBaseBottom - 1, kCaseBody);
    for (double x : {38.0, 52.0}) c.FillRect(x, kBaseTop + 0.5, x + 2.5, kBaseBottom - 1, kStrap);
    c.FillRect(kCaseLeft + 0.5, kBaseBottom - 3, kCaseLeft + 3, kBaseBottom - 0.5, kGold);
    c.FillRect(kCaseRight - 3, kBaseBottom - 3, kCaseRight - 0.5, kBaseBottom - 0.5, kGold);
    c.FillRect(kCaseLeft + 3, kBaseBottom, kCaseLeft + 6, kFloorY, kCaseDark);
    c.FillRect(kCaseRight - 6, kBaseBottom, kCaseRight - 3, kFloorY, kCaseDark);
}

void DrawLid(Canvas& c, double angle) {
    auto quad = [&](double x0, double y0, double x1, double y1, Rgb colour) {
        c.FillPolygon({LidPoint(x0, y0, angle), LidPoint(x1, y0, angle), LidPoint(x1, y1, angle),
                       LidPoint(x0, y1, angle)},
                      colour);
    };
    double top = kBaseTop - kLidThickness;
    quad(kCaseLeft, top, kCaseRight, kBaseTop, kCaseDark);
    quad(kCaseLeft + 1, top + 1, kCaseRight - 1, kBaseTop - 0.5, kLidBody);
    for (double x : {38.0, 52.0}) quad(x, top + 1, x + 2.5, kBaseTop - 0.5, kStrap);
    // The latch at the front, where lid meets base.
    quad(kCaseLeft + 0.2, kBaseTop - 2.5, kCaseLeft + 2.5, kBaseTop, kGold);
    // The carrying handle on top.
    Pt h0 = LidPoint(43, top, angle), h1 = LidPoint(49, top, angle);
    Pt u0 = LidPoint(43.5, top - 2.2, angle), u1 = LidPoint(48.5, top - 2.2, angle);
    c.Line(h0, u0, 1.3, kCaseDark);
    c.Line(u0, u1, 1.3, kCaseDark);
    c.Line(u1, h1, 1.3, kCaseDark);
}

struct Pose {
    Pt hip, shoulder, head;
    Pt nearHand, farHand, nearElbow, farElbow;
    Pt nearFoot, farFoot, nearKnee, farKnee;
    double facing;  // +1 looks right, towards the suitcase
};

void DrawFigure(Canvas& c, const Pose& p) {
    // Far side first, so that the near limbs overlap it.
    c.Line(p.hip, p.farKnee, 3.4, kTrousersFar);
    c.Line(p.farKnee, p.farFoot, 3.2, kTrousersFar);
    c.Line(p.farFoot, {p.farFoot.x + 2.2 * p.facing, p.farFoot.y}, 2.2, kShoe);
    c.Line(p.shoulder, p.farElbow, 2.8, kShirtFar);
    c.Line(p.farElbow, p.farHand, 2.4, kSkin);
    c.Line(p.hip, p.nearKnee, 3.6, kTrousers);
    c.Line(p.nearKnee, p.nearFoot, 3.4, kTrousers);
    c.Line(p.nearFoot, {p.nearFoot.x + 2.4 * p.facing, p.nearFoot.y}, 2.4, kShoe);
    c.Line(p.hip, p.shoulder, 6, kShirt);
    c.FillCircle(p.head, 4.2, kSkin);
    c.FillEllipse({p.head.x - 1.2 * p.facing, p.head.y - 1.8}, 4.0, 2.6, kHair);
    c.FillCircle({p.head.x + 1.9 * p.facing, p.head.y - 0.2}, 0.7, kEye);
    c.Line(p.shoulder, p.nearElbow, 3, kShirt);
    c.Line(p.nearElbow, p.nearHand, 2.6, kSkin);
    c.FillCircle(p.nearHand, 1.5, kSkin);
}

Pt Along(Pt from, Pt to, double t) {
    return {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
}

// The opening angle of the lid in each frame, in degrees: pressed down, then
// springing partly back, as the figure struggles with it.
constexpr double kFrameAngles[kFrameCount] = {16, 10, 5, 10};
// How far forward the figure leans, in degrees from upright.
constexpr double kFrameLean[kFrameCount] = {38, 46, 54, 46};

}  // namespace

Image AnimationFrame(int index) {
    index = ((index % kFrameCount) + kFrameCount) % kFrameCount;
    double angle = kFrameAngles[index] * kPi / 180;
    double lean = kFrameLean[index] * kPi / 180;

    Canvas c;
    DrawFloor(c);
    DrawClothes(c, angle);
    DrawBase(c);
    DrawLid(c, angle);

    Pose p{};
    p.facing = 1;
    p.hip = {21, 41.5};
    p.shoulder = {p.hip.x + 13 * std::sin(lean), p.hip.y - 13 * std::cos(lean)};
    p.head = {p.shoulder.x + 4.5 * std::sin(lean + 0.25),
              p.shoulder.y - 4.5 * std::cos(lean + 0.25)};
    p.nearHand = LidPoint(40, kBaseTop - kLidThickness - 0.8, angle);
    p.farHand = LidPoint(37, kBaseTop - kLidThickness - 0.8, angle);
    // Arms pushing almost straight, elbows a little out.
    p.nearElbow = Along(p.shoulder, p.nearHand, 0.5);
    p.nearElbow.x -= 0.6;
    p.farElbow = Along(p.shoulder, p.farHand, 0.5);
    p.farElbow.x -= 0.6;
    // Legs braced: the back leg stretched, the front one bent.
    p.farFoot = {12, kFloorY - 1.2};
    p.nearFoot = {23.5, kFloorY - 1.2};
    p.farKnee = Along(p.hip, p.farFoot, 0.5);
    p.nearKnee = {p.hip.x + 4.5, p.hip.y + 6.5};
    DrawFigure(c, p);

    // Beads of sweat fly off while the lid is pressed hardest.
    if (index == 1 || index == 2) {
        Pt drop{p.head.x - 5.5, p.head.y - 5 - (index == 2 ? 2 : 0)};
        c.FillEllipse(drop, 0.9, 1.4, kSweat);
        c.FillEllipse({drop.x + 8.5, drop.y - 1.5}, 0.9, 1.4, kSweat);
    }
    return c.Reduce();
}

Image CompletionPicture() {
    Canvas c;
    DrawFloor(c);
    DrawBase(c);
    DrawLid(c, 0);

    // Upright beside the suitcase, one hand raised, the other resting on the lid.
    Pose p{};
    p.facing = 1;
    p.hip = {17, 41};
    p.shoulder = {17.5, 28.5};
    p.head = {18, 22.5};
    p.farElbow = {12.5, 23};
    p.farHand = {11.5, 16.5};
    p.nearElbow = {23.5, 33.5};
    p.nearHand = {30.5, 37};
    p.farFoot = {12.5, kFloorY - 1.2};
    p.nearFoot = {20, kFloorY - 1.2};
    p.farKnee = Along(p.hip, p.farFoot, 0.5);
    p.nearKnee = Along(p.hip, p.nearFoot, 0.5);
    DrawFigure(c, p);
    c.FillCircle(p.farHand, 1.5, kSkin);

    c.Star({44, 27}, 4, kStar);
    c.Star({55, 31}, 2.6, kStar);
    c.Star({36, 30}, 2.2, kStar);
    c.Star({52, 21}, 1.8, kStar);
    return c.Reduce();
}

bool FindPicture(const std::string& name, Image* out) {
    for (int i = 0; i < kFrameCount; ++i) {
        if (name == kFrameResources[i]) {
            *out = AnimationFrame(i);
            return true;
        }
    }
    if (name == kCompleteResource) {
        *out = CompletionPicture();
        return true;
    }
    return false;
}

}  // namespace sabrel::art
