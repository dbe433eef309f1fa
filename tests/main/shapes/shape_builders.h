// Shapes built point by point, and the error a call raises, for the
// geometry and shapefile tests.
#pragma once

#include "main/files/geometry.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

namespace shapes_test {

inline std::shared_ptr<files::CPoint> pt(double x, double y) { return std::make_shared<files::CPoint>(x, y); }

// A line or polygon whose parts are filled before they are added.
template <class Shape>
std::shared_ptr<Shape> shape_of(std::initializer_list<std::initializer_list<std::pair<double, double>>> parts)
{
    auto s = std::make_shared<Shape>();
    for (const auto& ring : parts) {
        auto part = std::make_shared<files::CPart>();
        for (const auto& [x, y] : ring) part->Add(pt(x, y));
        s->Add(part);
    }
    return s;
}

inline platform::VbError error_of(const std::function<void()>& f)
{
    try {
        f();
    } catch (const platform::VbError& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return platform::VbError(0, "", "");
}

} // namespace shapes_test
