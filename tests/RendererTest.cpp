// The frame as the renderer hands it to the surface: views, HUD boxes,
// outlines, colours and the pens' lifetime, on a hand-built game state.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "app/GameWindow.h"
#include "game/GameState.h"
#include "platform/headless/Headless.h"
#include "present/Renderer.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

namespace {

const Rgb kBlack{0, 0, 0};
const Rgb kWhite{255, 255, 255};
const Rgb kGreen{0, 255, 0};
const Rgb kGrey{200, 200, 200};

struct Seg {
    int x1, y1, x2, y2;
    friend bool operator==(const Seg&, const Seg&) = default;
};

class RendererTest : public ::testing::Test {
protected:
    HeadlessPlatform host;

    void SetUp() override {
        resetToProgramStart();
        host.install();
        gameState.fieldWidth = 800;
        gameState.fieldHeight = 600;
        // A ship at the centre with its outline placed, as start-up leaves it.
        playerShip.setup(400.0f, 300.0f, 0.0f, 0.0f, 8, 0.0f, 1);
        playerShip.updateShipPoints();
    }

    void TearDown() override {
        resetToProgramStart();
        resetPlatform();
    }

    // One frame; every frame must leave no pen selected.
    std::vector<DrawOp> frame() {
        RecordingSurface surface;
        drawFrame(surface);
        EXPECT_EQ(surface.pensSelected, 0);
        EXPECT_TRUE(surface.transparentText);
        return surface.ops;
    }

    static std::vector<DrawOp> only(const std::vector<DrawOp>& ops, DrawOp::Kind kind) {
        std::vector<DrawOp> out;
        for (const DrawOp& op : ops)
            if (op.kind == kind) out.push_back(op);
        return out;
    }

    static std::vector<Seg> lines(const std::vector<DrawOp>& ops, Rgb colour) {
        std::vector<Seg> out;
        for (const DrawOp& op : ops)
            if (op.kind == DrawOp::Line && op.colour == colour)
                out.push_back({op.a, op.b, op.c, op.d});
        return out;
    }

    static const DrawOp* text(const std::vector<DrawOp>& ops, const std::string& s) {
        for (const DrawOp& op : ops)
            if (op.kind == DrawOp::Text && op.text == s) return &op;
        return nullptr;
    }

    // The segments of an outline through points[first..last], as drawn.
    static std::vector<Seg> path(const Vec2* p, int first, int last, bool closed) {
        std::vector<Seg> out;
        int x = static_cast<int>(p[first].x), y = static_cast<int>(p[first].y);
        const int x0 = x, y0 = y;
        for (int i = first; i <= last; ++i) {
            const int nx = static_cast<int>(p[i].x), ny = static_cast<int>(p[i].y);
            out.push_back({x, y, nx, ny});
            x = nx;
            y = ny;
        }
        if (closed) out.push_back({x, y, x0, y0});
        return out;
    }

    static void expectBox(const DrawOp* op, int l, int t, int r, int b, TextAlign align,
                          Rgb colour) {
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(op->a, l);
        EXPECT_EQ(op->b, t);
        EXPECT_EQ(op->c, r);
        EXPECT_EQ(op->d, b);
        EXPECT_EQ(op->align, align);
        EXPECT_EQ(op->colour, colour);
    }

    static SpaceObject bodyAt(float x, float y) {
        SpaceObject o;
        o.setX(x);
        o.setY(y);
        return o;
    }
};

TEST_F(RendererTest, PlayViewWithEmptyListsDrawsShipIconsHudAndCircles) {
    startNewGame();  // three icons at the bottom right
    const std::vector<DrawOp> ops = frame();

    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0].kind, DrawOp::Fill);
    EXPECT_EQ((Seg{ops[0].a, ops[0].b, ops[0].c, ops[0].d}), (Seg{0, 0, 800, 600}));
    EXPECT_EQ(ops[0].colour, kBlack);
    EXPECT_EQ(only(ops, DrawOp::Fill).size(), 1u);

    EXPECT_EQ(lines(ops, kWhite), path(playerShip.shipPoints, 1, 4, true));
    EXPECT_TRUE(lines(ops, kGreen).empty());  // no flame without thrust
    EXPECT_TRUE(only(ops, DrawOp::Pixel).empty());

    std::vector<Seg> icons;
    for (int i = 0; i < 3; ++i) {
        SpaceObject icon = playerShip;
        reserveShips.getAt(i, icon);
        for (const Seg& s : path(icon.shipModel, 1, 4, true)) icons.push_back(s);
    }
    EXPECT_EQ(lines(ops, kGrey), icons);

    // The HUD at 800 x 600, and nothing else written.
    ASSERT_EQ(only(ops, DrawOp::Text).size(), 3u);
    expectBox(text(ops, "Score: 0"), 0, 10, 804, 30, TextAlign::Center, kWhite);
    expectBox(text(ops, "Level: 1"), 0, 30, 804, 50, TextAlign::Center, kWhite);
    expectBox(text(ops, "Throttle: 100 %"), 0, 570, 804, 590, TextAlign::Center, kWhite);

    const std::vector<DrawOp> circles = only(ops, DrawOp::Ellipse);
    ASSERT_EQ(circles.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ((Seg{circles[i].a, circles[i].b, circles[i].c, circles[i].d}),
                  (Seg{10 + 15 * i, 585, 20 + 15 * i, 595}));
        EXPECT_EQ(circles[i].colour, kWhite);
        EXPECT_EQ(circles[i].fill, kWhite);
    }
    // The HUD comes last, after every body.
    EXPECT_EQ(ops.back().kind, DrawOp::Ellipse);
}

TEST_F(RendererTest, FlameOnlyWhileThrusting) {
    playerShip.setThrusting(true);
    playerShip.updateShipPoints();
    const Vec2* p = playerShip.shipPoints;
    auto px = [](float v) { return static_cast<int>(v); };
    const std::vector<Seg> flame = lines(frame(), kGreen);
    ASSERT_EQ(flame.size(), 2u);
    EXPECT_EQ(flame[0], (Seg{px(p[7].x), px(p[7].y), px(p[6].x), px(p[6].y)}));
    EXPECT_EQ(flame[1], (Seg{px(p[5].x), px(p[5].y), px(p[6].x), px(p[6].y)}));

    playerShip.setThrusting(false);
    EXPECT_TRUE(lines(frame(), kGreen).empty());
}

TEST_F(RendererTest, SaucerPathIsOpenAndRockOutlineClosedThroughNineteenPoints) {
    SpaceObject saucer = bodyAt(300.0f, 200.0f);
    for (int i = 0; i < 17; ++i) {
        const auto f = static_cast<float>(i);
        saucer.saucerPoints[i] = {100.0f + 3.0f * f, 50.0f + f};
    }
    saucer.saucerPoints[0] = {-999.0f, -999.0f};  // never part of the figure
    saucers.append(saucer);

    SpaceObject rock = bodyAt(500.0f, 400.0f);
    for (int i = 0; i < 20; ++i) {
        const auto f = static_cast<float>(i);
        rock.rockPoints[i] = {500.0f + 2.0f * f, 400.0f - f};
    }
    rock.rockPoints[0] = {-777.0f, -777.0f};
    rock.rockPoints[19] = {620.5f, 333.9f};
    asteroids.append(rock);

    const std::vector<DrawOp> ops = frame();
    const std::vector<Seg> white = lines(ops, kWhite);
    const std::vector<Seg> hull = path(playerShip.shipPoints, 1, 4, true);
    ASSERT_EQ(white.size(), hull.size() + 16);
    const std::vector<Seg> saucerPath(white.begin() + static_cast<long>(hull.size()), white.end());
    EXPECT_EQ(saucerPath, path(saucer.saucerPoints, 1, 16, false));
    EXPECT_EQ(saucerPath.back(), (Seg{145, 65, 148, 66}));  // ends at [16], no way back

    const std::vector<Seg> grey = lines(ops, kGrey);
    ASSERT_EQ(grey.size(), 20u);  // 19 points and the closing line
    EXPECT_EQ(grey, path(rock.rockPoints, 1, 19, true));
    EXPECT_EQ(grey[18], (Seg{536, 382, 620, 333}));
    EXPECT_EQ(grey[19], (Seg{620, 333, 502, 399}));
}

TEST_F(RendererTest, BulletsArePixelsTruncatedTowardZero) {
    saucerBullets.append(bodyAt(12.9f, 40.99f));
    saucerBullets.append(bodyAt(-3.7f, -0.5f));
    playerBullets.append(bodyAt(799.99f, 599.5f));
    const std::vector<DrawOp> pixels = only(frame(), DrawOp::Pixel);
    ASSERT_EQ(pixels.size(), 3u);
    EXPECT_EQ((Seg{pixels[0].a, pixels[0].b, 0, 0}), (Seg{12, 40, 0, 0}));
    EXPECT_EQ(pixels[0].colour, kGreen);
    EXPECT_EQ((Seg{pixels[1].a, pixels[1].b, 0, 0}), (Seg{-3, 0, 0, 0}));
    EXPECT_EQ((Seg{pixels[2].a, pixels[2].b, 0, 0}), (Seg{799, 599, 0, 0}));
    EXPECT_EQ(pixels[2].colour, kWhite);
}

TEST_F(RendererTest, CoordinatesOutsideTheIntRangeArePinned) {
    playerBullets.append(bodyAt(std::nanf(""), 1e20f));
    playerBullets.append(bodyAt(-INFINITY, -1e20f));
    const std::vector<DrawOp> pixels = only(frame(), DrawOp::Pixel);
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0].a, 0);
    EXPECT_EQ(pixels[0].b, INT_MAX);
    EXPECT_EQ(pixels[1].a, INT_MIN);
    EXPECT_EQ(pixels[1].b, INT_MIN);
}

TEST_F(RendererTest, ShotCirclesCountTheShotsStillAllowed) {
    struct Case {
        int level, bullets;
        size_t circles;
    };
    for (const Case c : {Case{1, 0, 4}, Case{2, 0, 5}, Case{3, 0, 5}, Case{4, 1, 5}, Case{1, 4, 0},
                         Case{1, 6, 0}}) {
        playerBullets.clear();
        gameState.level = c.level;
        for (int i = 0; i < c.bullets; ++i) playerBullets.append(bodyAt(100.0f, 100.0f));
        EXPECT_EQ(only(frame(), DrawOp::Ellipse).size(), c.circles)
            << "level " << c.level << ", bullets " << c.bullets;
    }
}

TEST_F(RendererTest, ReserveIconsStayUprightAndMatchTheCount) {
    startNewGame();
    playerShip.setAngle(1.3f);
    playerShip.updateShipPoints();
    const std::vector<Seg> grey = lines(frame(), kGrey);
    ASSERT_EQ(grey.size(), 15u);
    // The rightmost icon: nose straight above its place, base corners level.
    EXPECT_EQ(grey[1], (Seg{780, 568, 774, 585}));
    EXPECT_EQ(grey[3].y2, 585);

    gameState.reserveShipCount = 2;
    EXPECT_EQ(lines(frame(), kGrey).size(), 10u);
    // A count beyond the list draws only the icons that exist.
    gameState.reserveShipCount = 7;
    EXPECT_EQ(lines(frame(), kGrey).size(), 15u);
    gameState.reserveShipCount = -1;
    EXPECT_TRUE(lines(frame(), kGrey).empty());
}

TEST_F(RendererTest, GameOverViewShowsTableAndEndLinesButNoBodies) {
    saucers.append(bodyAt(300.0f, 300.0f));
    asteroids.append(bodyAt(200.0f, 200.0f));
    saucerBullets.append(bodyAt(50.0f, 50.0f));
    playerBullets.append(bodyAt(60.0f, 60.0f));
    playerBullets.append(bodyAt(70.0f, 70.0f));
    startNewGame();
    for (int r = 0; r < 10; ++r)
        highScoreTable.rows[r] = {1000 - 10 * r, r + 1, "AB" + std::to_string(r)};
    gameState.shipDestroyed = 1;
    gameState.score = 730;

    const std::vector<DrawOp> ops = frame();
    EXPECT_TRUE(only(ops, DrawOp::Line).empty());
    EXPECT_TRUE(only(ops, DrawOp::Pixel).empty());

    expectBox(text(ops, "SCORE"), 90, 150, 394, 166, TextAlign::Right, kGrey);
    expectBox(text(ops, "LEVEL"), 410, 150, 464, 166, TextAlign::Center, kGrey);
    expectBox(text(ops, "NAME"), 470, 150, 524, 166, TextAlign::Center, kGrey);
    for (int r = 0; r < 10; ++r) {
        const int y = 170 + 20 * r;
        expectBox(text(ops, std::to_string(1000 - 10 * r)), 90, y, 394, y + 16, TextAlign::Right,
                  kGrey);
        expectBox(text(ops, "AB" + std::to_string(r)), 470, y, 524, y + 16, TextAlign::Center,
                  kGrey);
    }
    expectBox(text(ops, "10"), 410, 350, 464, 366, TextAlign::Center, kGrey);
    expectBox(text(ops, "You've Destroyed Your Last Ship"), 0, 396, 804, 412, TextAlign::Center,
              kGrey);
    expectBox(text(ops, "Press Space Twice To Start Over"), 0, 416, 804, 432, TextAlign::Center,
              kGrey);
    EXPECT_EQ(text(ops, "You Got a New High Score: Enter Your Initials"), nullptr);

    expectBox(text(ops, "Score: 730"), 0, 10, 804, 30, TextAlign::Center, kWhite);
    expectBox(text(ops, "Throttle: 100 %"), 0, 570, 804, 590, TextAlign::Center, kWhite);
    // The circles still count the shots left in the list.
    EXPECT_EQ(only(ops, DrawOp::Ellipse).size(), 2u);
}

TEST_F(RendererTest, InitialsEntryShowsPromptAndTypedCharacters) {
    for (HighScoreEntry& row : highScoreTable.rows) row = {0, 1, "AAA"};
    highScoreTable.rows[4].initials.clear();  // an empty row name draws nothing
    gameState.shipDestroyed = 1;
    gameState.enteringInitials = 1;

    std::vector<DrawOp> ops = frame();
    expectBox(text(ops, "You Got a New High Score: Enter Your Initials"), 0, 396, 804, 412,
              TextAlign::Center, kGrey);
    EXPECT_EQ(text(ops, "You've Destroyed Your Last Ship"), nullptr);
    // Headings, ten scores, ten levels, nine names, prompt, three HUD lines;
    // nothing yet typed, so no line under the prompt.
    EXPECT_EQ(only(ops, DrawOp::Text).size(), 3u + 10 + 10 + 9 + 1 + 3);

    typedInitials = "Q\"";
    ops = frame();
    expectBox(text(ops, "Q\""), 0, 436, 804, 452, TextAlign::Center, kGrey);
}

TEST_F(RendererTest, GameOverRowsFollowTheFieldHeightTruncated) {
    gameState.shipDestroyed = 1;
    gameState.fieldWidth = 641;   // cx = 320
    gameState.fieldHeight = 599;  // y0 = trunc(149.75), ym = trunc(395.34)
    const std::vector<DrawOp> ops = frame();
    expectBox(text(ops, "SCORE"), 10, 149, 314, 165, TextAlign::Right, kGrey);
    expectBox(text(ops, "You've Destroyed Your Last Ship"), 0, 395, 645, 411, TextAlign::Center,
              kGrey);
    expectBox(text(ops, "Throttle: 100 %"), 0, 569, 645, 589, TextAlign::Center, kWhite);
}

TEST_F(RendererTest, TextBoxWidensByFourAndMapsAlignment) {
    RecordingSurface s;
    drawTextBox(s, "a", 5, 6, 10, 20, 0);
    drawTextBox(s, "b", 5, 6, 10, 20, 1);
    drawTextBox(s, "c", 5, 6, 10, 20, 2);
    drawTextBox(s, "d", 5, 6, 10, 20, -7);
    drawTextBox(s, "", 5, 6, 10, 20, 1);
    drawTextBox(s, nullptr, 5, 6, 10, 20, 1);
    ASSERT_EQ(s.ops.size(), 4u);
    EXPECT_EQ((Seg{s.ops[0].a, s.ops[0].b, s.ops[0].c, s.ops[0].d}), (Seg{5, 6, 19, 26}));
    EXPECT_EQ(s.ops[0].align, TextAlign::Left);
    EXPECT_EQ(s.ops[1].align, TextAlign::Center);
    EXPECT_EQ(s.ops[2].align, TextAlign::Right);
    EXPECT_EQ(s.ops[3].align, TextAlign::Right);
}

TEST_F(RendererTest, BackBufferLifecycle) {
    presentFrame(nullptr);  // before start-up: nothing to draw into
    EXPECT_EQ(host.display.presentCount, 0);

    createBackBuffer(nullptr);
    ASSERT_NE(host.display.surface, nullptr);
    EXPECT_EQ(host.display.width, 800);
    EXPECT_EQ(host.display.height, 600);

    presentFrame(nullptr);
    EXPECT_EQ(host.display.presentCount, 1);
    ASSERT_FALSE(host.display.presented.empty());
    EXPECT_EQ(host.display.presented[0].kind, DrawOp::Fill);
    EXPECT_TRUE(host.display.surface->ops.empty());
    EXPECT_EQ(host.display.surface->pensSelected, 0);
    const size_t firstFrame = host.display.presented.size();
    presentFrame(nullptr);  // each frame starts from scratch
    EXPECT_EQ(host.display.presented.size(), firstFrame);

    createBackBuffer(nullptr);  // a second one replaces the first
    EXPECT_EQ(host.display.created, 2);
    EXPECT_EQ(host.display.destroyed, 1);

    destroyBackBuffer();
    destroyBackBuffer();
    EXPECT_EQ(host.display.destroyed, 2);
    EXPECT_EQ(host.display.surface, nullptr);
    presentFrame(nullptr);
    EXPECT_EQ(host.display.presentCount, 2);
}

TEST_F(RendererTest, NoSurfaceFromTheDisplayMeansNoFrames) {
    resetPlatform();  // the null display makes no surface
    createBackBuffer(nullptr);
    presentFrame(nullptr);
    destroyBackBuffer();
    host.install();
    EXPECT_EQ(host.display.presentCount, 0);
}

}  // namespace
