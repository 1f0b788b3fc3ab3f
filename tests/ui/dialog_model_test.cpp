// The dialog's logic without a window: controls to settings, commands, undo,
// memory dots, the enabled controls and the preview's zoom.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "projection/catalogue.h"
#include "settings/settings_file.h"
#include "ui/dialog_model.h"

namespace globaro {
namespace {

SettingsRecord defaults() {
    SettingsRecord s{};
    resetRunState(s);
    resetExportOptions(s);
    resetToDefaults(s);
    setName(s.settingsName, "Globaro 2 settings");
    return s;
}

ProjectionId output(const char* name) { return findOutputProjection(name).value_or(-1); }

struct ControlCase {
    const char* what;
    std::function<void(DialogModel&)> act;
    std::function<bool(const SettingsRecord&)> holds;
};

TEST(DialogModel, EachControlSetsItsFieldWithinItsRange) {
    const ControlCase cases[] = {
        {"typed latitude 200 is clamped to 90", [](DialogModel& m) { m.typeInEdit(86, 200); },
         [](const SettingsRecord& s) { return s.latitude == 90.0f; }},
        {"longitude slider below its range", [](DialogModel& m) { m.setSlider(kControlLongitude, -500); },
         [](const SettingsRecord& s) { return s.longitude == -180.0f; }},
        {"spin", [](DialogModel& m) { m.setSlider(kControlSpin, 33); },
         [](const SettingsRecord& s) { return s.spin == 33.0f && s.spinInteger == 0; }},
        {"fov", [](DialogModel& m) { m.setSlider(kControlFov, 45); },
         [](const SettingsRecord& s) { return s.fov == 45.0f; }},
        {"sharpen not a number", [](DialogModel& m) { m.typeInEdit(93, std::nan("")); },
         [](const SettingsRecord& s) { return s.sharpen == 0.0f; }},
        {"output list", [](DialogModel& m) { m.setChoice(kControlOutput, 566); },
         [](const SettingsRecord& s) { return s.outputProjection == 566; }},
        {"grid list writes both grid fields", [](DialogModel& m) { m.setChoice(kControlGrid, 4); },
         [](const SettingsRecord& s) { return s.grid == 4 && s.gridLegacy == 4; }},
        {"glue list", [](DialogModel& m) { m.setChoice(kControlGlue, 69); },
         [](const SettingsRecord& s) { return s.glue == 69; }},
        {"check box", [](DialogModel& m) { m.setChecked(kControlFlip, true); },
         [](const SettingsRecord& s) { return s.flip == 1; }},
        {"colour button", [](DialogModel& m) { m.setColour(kControlLineColor, Rgb16::from8(255, 0, 10)); },
         [](const SettingsRecord& s) {
             return s.lineColor == Rgb16{65535, 0, 2570};
         }},
        {"reset", [](DialogModel& m) { m.setSlider(kControlLatitude, 20), m.press(kControlResetAngles); },
         [](const SettingsRecord& s) { return s.latitude == 0.0f; }},
        {"stepping the output wraps past 414", [](DialogModel& m) { m.setChoice(kControlOutput, 414), m.press(94); },
         [](const SettingsRecord& s) { return s.outputProjection == 1; }},
        {"stepping the grid writes both grid fields", [](DialogModel& m) { m.press(kControlStepGrid); },
         [](const SettingsRecord& s) { return s.grid == 2 && s.gridLegacy == 2; }},
        {"little planet", [](DialogModel& m) { m.press(kControlLittlePlanet); },
         [](const SettingsRecord& s) { return s.outputProjection == 16 && s.latitude == -90.0f; }},
        {"dragging the preview a quarter to the right", [](DialogModel& m) { m.turn(10, 170, 0.25, 0.1); },
         [](const SettingsRecord& s) { return s.longitude == 80.0f && s.latitude == 28.0f; }},
        {"dragging wraps longitude", [](DialogModel& m) { m.turn(80, -170, 0.1, 0.2); },
         [](const SettingsRecord& s) { return s.longitude == 154.0f && s.latitude == 90.0f; }},
    };
    for (const ControlCase& c : cases) {
        DialogModel model(defaults());
        c.act(model);
        EXPECT_TRUE(c.holds(model.settings())) << c.what;
    }
}

// Undo toggles between the state before the last change and the change.
TEST(DialogModel, UndoTogglesTheLastChange) {
    DialogModel model(defaults());
    model.open();
    EXPECT_FALSE(model.enabled(kControlUndo));
    model.setChoice(kControlOutput, 27);
    EXPECT_TRUE(model.enabled(kControlUndo));
    model.press(kControlUndo);
    EXPECT_EQ(model.settings().outputProjection, 1);
    model.press(kControlUndo);
    EXPECT_EQ(model.settings().outputProjection, 27);
    // A drag records once, when it ends.
    model.setSlider(kControlSpin, 10, false);
    model.setSlider(kControlSpin, 50, false);
    model.endDrag(kControlSpin);
    model.press(kControlUndo);
    EXPECT_EQ(model.settings().spin, 0.0f);
}

TEST(DialogModel, CancelRestoresTheLookButNotTheExportOptions) {
    DialogModel model(defaults());
    model.open();
    model.setChoice(kControlOutput, 27);
    model.setSlider(kControlLatitude, 45);
    model.press(kControlDice);
    model.settings().cubeSide = 1024;
    model.cancel();
    const SettingsRecord opening = defaults();
    EXPECT_EQ(model.settings().outputProjection, opening.outputProjection);
    EXPECT_EQ(model.settings().latitude, opening.latitude);
    EXPECT_EQ(model.settings().longitude, opening.longitude);
    EXPECT_STREQ(model.settings().settingsName, opening.settingsName);
    EXPECT_EQ(model.settings().cubeSide, 1024);
}

TEST(DialogModel, DiceWithTheSameSeedThrowsTheSameView) {
    DialogModel a(defaults(), 7), b(defaults(), 7);
    for (int i = 0; i < 20; ++i) {
        a.press(kControlDice);
        b.press(kControlDice);
        EXPECT_EQ(a.settings().latitude, b.settings().latitude);
        EXPECT_EQ(a.settings().longitude, b.settings().longitude);
        EXPECT_EQ(a.settings().spin, b.settings().spin);
        EXPECT_LE(std::abs(a.settings().latitude), 90.0f);
        EXPECT_LE(std::abs(a.settings().longitude), 180.0f);
    }
    EXPECT_STREQ(a.settings().settingsName, "random settings");
}

// A dot parked in one session is kept for the next, and recalls its settings.
TEST(DialogModel, ParkedDotRecallsItsSettingsAndIsKept) {
    {
        DialogModel model(defaults());
        model.open();
        // A fresh installation: the opening settings land in dot 0, current, not kept.
        EXPECT_EQ(model.dots().state.words[0], kDotCurrent);
        EXPECT_EQ(model.dotMap().words[0], 0);
        model.setChoice(kControlOutput, 62);
        model.setSlider(kControlLatitude, 30);
        EXPECT_EQ(model.clickDot(3, false, false).what, DotClick::kFilled);
        model.setSlider(kControlLatitude, -10);
        model.setChoice(kControlOutput, 5);
        EXPECT_EQ(model.clickDot(3, false, false).what, DotClick::kLoaded);
        EXPECT_EQ(model.settings().outputProjection, 62);
        EXPECT_EQ(model.settings().latitude, 30.0f);
        EXPECT_STREQ(model.settings().settingsName, "dot 4");
        // A dot load is undone like any change.
        model.press(kControlUndo);
        EXPECT_EQ(model.settings().outputProjection, 5);
        model.saveDots();
    }
    DialogModel next(defaults());
    next.open();
    EXPECT_EQ(next.dots().state.words[3], kDotFilled);
    EXPECT_EQ(next.clickDot(3, true, false).what, DotClick::kCleared);
    EXPECT_EQ(next.dots().state.words[3], kDotEmpty);
}

// The opening settings reach their dot before any preview exists; the first
// preview gives that dot its thumbnail, unless the settings changed first.
TEST(DialogModel, OpeningDotGetsTheFirstPreviewsThumbnail) {
    Thumbnail picture;
    picture.width = picture.height = 8;
    picture.rgb.assign(8 * 8 * 3, 200);
    for (const bool changedFirst : {false, true}) {
        DialogModel model(defaults());
        model.open();
        if (changedFirst) model.setChecked(kControlEdges, true);
        EXPECT_EQ(model.completeOpeningDot(picture), !changedFirst);
        EXPECT_FALSE(model.completeOpeningDot(picture));  // once
        Thumbnail kept;
        EXPECT_EQ(readSettingsThumbnail(dotPath(0), kept).hasThumbnail, !changedFirst);
    }
}

TEST(DialogModel, ControlsAreEnabledByOutput) {
    struct Case {
        const char* output;
        bool tabs, fov, facet;
    };
    const Case cases[] = {
        {"icosahedron", true, false, true},
        {"Mollweide", false, false, false},
        {"stereographic", false, true, false},
    };
    for (const Case& c : cases) {
        SettingsRecord s = defaults();
        s.outputProjection = output(c.output);
        ASSERT_GT(s.outputProjection, 0) << c.output;
        const DialogModel model(s);
        EXPECT_EQ(model.enabled(kControlTabs), c.tabs) << c.output;
        EXPECT_EQ(model.enabled(kControlFov), c.fov) << c.output;
        EXPECT_EQ(model.enabled(kControlFacet), c.facet) << c.output;
    }
    // Polyhedral, but without faces to export one by one.
    EXPECT_FALSE(outputHasFacets(21));
}

TEST(PreviewView, ZoomInStepsDownToOneAndNamesThePercentage) {
    PreviewView view;
    view.fit(900, 450, 300, 200);
    ASSERT_EQ(view.fitStep, 3);
    EXPECT_FALSE(view.canZoomOut());
    EXPECT_TRUE(view.zoomIn());
    EXPECT_EQ(view.percentText(), "50%");
    EXPECT_TRUE(view.zoomIn());
    EXPECT_EQ(view.percentText(), "100%");
    EXPECT_FALSE(view.zoomIn());
    EXPECT_EQ(view.step, 1);
    // The point at the centre stays there.
    EXPECT_EQ(view.left + view.width() / 2, 450);
    EXPECT_EQ(view.top + view.height() / 2, 225);
    EXPECT_TRUE(view.zoomOut());
    EXPECT_TRUE(view.zoomOut());
    EXPECT_EQ(view.step, 3);
    EXPECT_EQ(view.left, 0);
    EXPECT_EQ(view.top, 0);
}

TEST(PreviewView, ScrollingStaysInsideTheImage) {
    PreviewView small;
    small.fit(200, 100, 300, 200);
    EXPECT_FALSE(small.drag(-40, 25));
    EXPECT_EQ(small.left, 0);
    EXPECT_EQ(small.top, 0);
    PreviewView big;
    big.fit(900, 450, 300, 200);
    big.zoomFull();
    EXPECT_TRUE(big.drag(10000, -10000));
    EXPECT_EQ(big.left, 0);
    EXPECT_EQ(big.top, 450 - 200);
}

}  // namespace
}  // namespace globaro
