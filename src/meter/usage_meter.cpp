#include "meter/usage_meter.h"

#include <cmath>

namespace pelmora::meter {

float percentageOf(std::int64_t maxVal, float curVal) {
    const float product = curVal * 100.0f;
    if (!std::isfinite(product)) {
        throw platform::Error::overflow();
    }
    if (maxVal == 0) {
        // Zero over zero is an invalid operation, reported as an overflow.
        throw product == 0.0f ? platform::Error::overflow() : platform::Error::divisionByZero();
    }
    return static_cast<float>(static_cast<double>(product) / static_cast<double>(maxVal));
}

platform::Status DrawPercent_Graph(std::int64_t maxVal, float curVal, platform::PictureBox& pic) {
    try {
        const float percentage = percentageOf(maxVal, curVal);
        pic.cls();
        pic.refresh();
        pic.scale(kMeterScale);
        const platform::Colour colour = percentage > kRedLimit ? kGreen : kRed;
        pic.fillBox({kBarLeft, 0.0f, kBarRight, percentage}, colour);
        pic.setLevel(percentage);
    } catch (const platform::Error& error) {
        // The meter hands its failure back; the refresh raises it again.
        return error;
    }
    return {};
}

}  // namespace pelmora::meter
