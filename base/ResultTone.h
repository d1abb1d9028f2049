#pragma once

// The three tones of a page's result label, as plain values so that the
// protocol code can say which one a result gets without knowing about
// widgets: success in blue, an error reply from the device in dark red, a
// time-out or a rejected file in red.
namespace kestrune {

enum class ResultTone {
    Success,     // (0, 0, 255)
    DeviceError, // (177, 4, 12)
    Failure,     // (255, 0, 0): time-out, rejected file
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

constexpr Rgb resultRgb(ResultTone tone) {
    switch (tone) {
    case ResultTone::Success:
        return {0, 0, 255};
    case ResultTone::DeviceError:
        return {177, 4, 12};
    case ResultTone::Failure:
        return {255, 0, 0};
    }
    return {255, 0, 0};
}

} // namespace kestrune
