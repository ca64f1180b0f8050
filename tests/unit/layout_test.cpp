#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/core/coordinates.h"
#include "platform/layout.h"
#include "ui/about/about_layout.h"
#include "ui/main/main_layout.h"

namespace pelmora::ui {
namespace {

using platform::ControlDef;
using platform::ControlKind;
using platform::FormLayout;
using platform::kNoIndex;

const ControlDef* find(const FormLayout& layout, std::string_view name, std::int16_t index) {
    for (const ControlDef& def : layout.controls) {
        if (def.name.text() == name && def.index == index) {
            return &def;
        }
    }
    return nullptr;
}

std::ptrdiff_t stackPosition(const FormLayout& layout, const ControlDef* def) {
    return def - layout.controls.data();
}

TEST(Layouts, EveryControlTheProgramAddressesExistsWithItsKind) {
    const struct {
        const FormLayout& layout;
        std::string_view name;
        std::int16_t index;
        ControlKind kind;
    } cases[] = {
        {kMainLayout, "lblTotalRam", 0, ControlKind::Label},
        {kMainLayout, "lblTotalRam", 1, ControlKind::Label},
        {kMainLayout, "lblFreeRam", 0, ControlKind::Label},
        {kMainLayout, "lblFreeRam", 1, ControlKind::Label},
        {kMainLayout, "lblRamUsage", 0, ControlKind::Label},
        {kMainLayout, "lblRamUsage", 1, ControlKind::Label},
        {kMainLayout, "picGraph", kNoIndex, ControlKind::PictureBox},
        {kMainLayout, "MainTimer", kNoIndex, ControlKind::Timer},
        {kAboutLayout, "Container", kNoIndex, ControlKind::PictureBox},
        {kAboutLayout, "AnimateTimer", kNoIndex, ControlKind::Timer},
        {kAboutLayout, "lblTitle", kNoIndex, ControlKind::Label},
        {kAboutLayout, "lblVersion", kNoIndex, ControlKind::Label},
        {kAboutLayout, "cmdOK", kNoIndex, ControlKind::CommandButton},
    };
    for (const auto& c : cases) {
        const ControlDef* def = find(c.layout, c.name, c.index);
        ASSERT_NE(def, nullptr) << c.name << c.index;
        EXPECT_EQ(def->kind, c.kind) << c.name;
    }
}

TEST(Layouts, NamesAreUniqueParentsArePanelsAndTabOrderIsAPermutation) {
    for (const FormLayout* layout : {&kMainLayout, &kAboutLayout}) {
        std::set<std::pair<std::string_view, std::int16_t>> names;
        std::vector<std::int16_t> tabs;
        for (const ControlDef& def : layout->controls) {
            EXPECT_TRUE(names.insert({def.name.text(), def.index}).second) << def.name.text();
            if (!def.parent.empty()) {
                const ControlDef* parent = find(*layout, def.parent.text(), kNoIndex);
                ASSERT_NE(parent, nullptr) << def.name.text();
                EXPECT_EQ(parent->kind, ControlKind::PictureBox);
            }
            if (def.tabIndex >= 0) {
                tabs.push_back(def.tabIndex);
            }
        }
        std::sort(tabs.begin(), tabs.end());
        for (std::size_t i = 0; i < tabs.size(); ++i) {
            EXPECT_EQ(tabs[i], static_cast<std::int16_t>(i)) << layout->form.name;
        }
    }
}

TEST(MainLayout, WindowAndMeterAreThePicturesSizes) {
    const auto& form = kMainLayout.form;
    EXPECT_EQ(core::twipsToPixels(form.clientWidth), 208);
    EXPECT_EQ(core::twipsToPixels(form.clientHeight), 51);
    const ControlDef& meter = *find(kMainLayout, "picGraph", kNoIndex);
    // A one-pixel frame round a drawing area the size of the 10 x 48 scale picture.
    EXPECT_TRUE(meter.framed);
    EXPECT_EQ(core::twipsToPixels(meter.width) - 2, 10);
    EXPECT_EQ(core::twipsToPixels(meter.height) - 2, 48);
    EXPECT_EQ(meter.top + meter.height, form.clientHeight);
    EXPECT_FALSE(meter.visible);
}

TEST(MainLayout, WhiteCopyOfEachFigureSitsOnePixelLeftAndBelowInFront) {
    for (std::string_view name : {"lblTotalRam", "lblFreeRam", "lblRamUsage"}) {
        const ControlDef* a = find(kMainLayout, name, 0);
        const ControlDef* b = find(kMainLayout, name, 1);
        const ControlDef* white = a->foreColour == main_layout::kWhite ? a : b;
        const ControlDef* red = white == a ? b : a;
        EXPECT_EQ(red->foreColour, main_layout::kRed) << name;
        EXPECT_EQ(white->left + platform::kTwipsPerPixel, red->left) << name;
        EXPECT_EQ(white->top - platform::kTwipsPerPixel, red->top) << name;
        EXPECT_EQ(white->width, red->width);
        EXPECT_EQ(white->height, red->height);
        EXPECT_LT(stackPosition(kMainLayout, white), stackPosition(kMainLayout, red)) << name;
        // Both reach under the meter.
        EXPECT_GT(red->left + red->width, find(kMainLayout, "picGraph", kNoIndex)->left);
    }
}

TEST(MainLayout, TheActionMenuHasSevenItemsWithOnlyTheMeterChecked) {
    ASSERT_EQ(kMainLayout.menus.size(), 8u);
    EXPECT_TRUE(kMainLayout.menus[0].parent.empty());
    EXPECT_FALSE(kMainLayout.menus[0].visible);
    for (std::int16_t i = 0; i < 7; ++i) {
        const platform::MenuDef& item = kMainLayout.menus[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(item.name, main_layout::mnuAction);
        EXPECT_EQ(item.index, i);
        EXPECT_EQ(item.parent, kMainLayout.menus[0].name);
        EXPECT_EQ(item.checked, i == 2);
        EXPECT_EQ(item.caption == "-", i == 3 || i == 5);
    }
}

TEST(AboutLayout, OnlyTheLeftmostSixPixelsOfThePanelShowAtFirst) {
    const ControlDef& panel = *find(kAboutLayout, "Container", kNoIndex);
    EXPECT_EQ(core::twipsToPixels(kAboutLayout.form.clientWidth - panel.left), 6);
    EXPECT_LT(panel.top + panel.height, find(kAboutLayout, "cmdOK", kNoIndex)->top);
    // The rule runs past the panel's right edge and is clipped there.
    for (std::int16_t i : {0, 1}) {
        EXPECT_GT(find(kAboutLayout, "Line1", i)->width, panel.width);
    }
    const ControlDef& ok = *find(kAboutLayout, "cmdOK", kNoIndex);
    EXPECT_TRUE(ok.isDefault && ok.isCancel);
    EXPECT_EQ(ok.tabIndex, 0);
}

}  // namespace
}  // namespace pelmora::ui
