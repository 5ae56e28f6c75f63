#include "decode/ScopePlot.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace serialmidi {

namespace {

constexpr const char* kErrorColour = "#d62728";

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string hexByte(std::uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

// 1, 2 or 5 times a power of ten: about `count` steps over `span`.
double tickStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10.0 * power;
}

}  // namespace

ScopePlot::ScopePlot(double sampleRate, std::int64_t from, std::int64_t to)
    : rate_(sampleRate), from_(from), to_(to), byteSamples_(10.0 * sampleRate / kMidiBaudRate) {
    if (!(sampleRate > 0) || from < 0 || to <= from)
        throw std::invalid_argument("the plot wants 0 <= from < to");
    if (!keepsSamples())
        columns_.resize(kPlotWidth);
}

double ScopePlot::xOf(double s) const {
    return kLeft + (s - static_cast<double>(from_)) * kPlotWidth / static_cast<double>(to_ - from_);
}

double ScopePlot::yOf(double v) const {
    // The signal's whole range, with a margin, fills the plot's height.
    const double low = std::min(0.0, static_cast<double>(low_));
    const double high = std::max(std::max(1.0, static_cast<double>(high_)), low + 1e-6);
    const double margin = 0.1 * (high - low);
    const double plotHeight = kHeight - kTop - kBottom;
    return kTop + (high + margin - v) * plotHeight / (high - low + 2 * margin);
}

void ScopePlot::addSamples(const float* samples, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i, ++fed_) {
        if (fed_ < from_ || fed_ >= to_)
            continue;
        const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        low_ = std::min(low_, x);
        high_ = std::max(high_, x);
        if (keepsSamples()) {
            samples_.push_back(x);
        } else {
            Column& c =
                columns_[static_cast<std::size_t>((fed_ - from_) * kPlotWidth / (to_ - from_))];
            c.low = std::min(c.low, x);
            c.high = std::max(c.high, x);
        }
    }
}

void ScopePlot::addBytes(const std::vector<DecodedByte>& bytes) {
    for (const DecodedByte& b : bytes)
        if (inWindow(b.startSample))
            bytes_.push_back(b);
}

void ScopePlot::addMessages(const std::vector<DecodedMessage>& messages) {
    for (const DecodedMessage& m : messages) {
        if (!inWindow(m.startSample))
            continue;
        std::string name = m.framingError ? "Framing error" : midiMessageName(m.bytes);
        if (!m.framingError && m.bytes[0] >= 0x80 && m.bytes[0] < 0xF0)
            name += " ch " + std::to_string((m.bytes[0] & 0x0F) + 1);
        labels_.push_back({m.startSample, name, m.framingError});
    }
}

void ScopePlot::write(std::ostream& out) const {
    const int plotBottom = kHeight - kBottom;
    const std::int64_t shownTo = std::min(to_, std::max(fed_, from_ + 1));
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << kHeight << "\" viewBox=\"0 0 " << kWidth << " " << kHeight
        << "\" font-family=\"sans-serif\" font-size=\"11\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
        << "<text x=\"" << kLeft << "\" y=\"18\" font-size=\"13\">" << static_cast<int>(rate_)
        << " Hz, samples " << from_ << " to " << shownTo << ", " << bytes_.size()
        << " byte(s)</text>\n";

    // The time axis, in samples, and the idle level.
    const double step = tickStep(static_cast<double>(to_ - from_), 10);
    out << "<g class=\"axis\" stroke=\"#999999\">\n";
    for (double t = std::ceil(from_ / step) * step; t < to_; t += step) {
        const std::string x = number(xOf(t));
        out << "<line x1=\"" << x << "\" y1=\"" << kTop << "\" x2=\"" << x << "\" y2=\""
            << plotBottom + 5 << "\" stroke-opacity=\"0.3\"/>"
            << "<text x=\"" << x << "\" y=\"" << plotBottom + 18
            << "\" text-anchor=\"middle\" stroke=\"none\" fill=\"#333333\">"
            << static_cast<std::int64_t>(t) << "</text>\n";
    }
    out << "<line x1=\"" << kLeft << "\" y1=\"" << number(yOf(0.0)) << "\" x2=\"" << kWidth - kRight
        << "\" y2=\"" << number(yOf(0.0)) << "\" stroke-dasharray=\"4 3\"/>\n"
        << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(yOf(0.0) + 4)
        << "\" text-anchor=\"end\" stroke=\"none\">0.0</text>\n"
        << "<text x=\"" << kWidth / 2 << "\" y=\"" << kHeight - 8
        << "\" text-anchor=\"middle\" stroke=\"none\">sample</text>\n</g>\n";

    // Each byte's frame: the start bit shaded, the bit cells divided, the
    // stop bit outlined, the value below; red where the stop bit was wrong.
    const double bit = rate_ / kMidiBaudRate;
    // Bit cells and values only where a byte is wide enough to read them.
    const bool detailed = xOf(from_ + 10 * bit) - xOf(from_) >= 16;
    for (const DecodedByte& b : bytes_) {
        const double start = static_cast<double>(b.startSample);
        const std::string colour = b.framingError ? kErrorColour : "#1f77b4";
        out << "<g class=\"byte" << (b.framingError ? " error" : "") << "\" data-sample=\""
            << b.startSample << "\" data-value=\"" << hexByte(b.value) << "\">"
            << "<rect x=\"" << number(xOf(start)) << "\" y=\"" << kTop << "\" width=\""
            << number(xOf(start + 10 * bit) - xOf(start)) << "\" height=\"" << plotBottom - kTop
            << "\" fill=\"" << colour << "\" fill-opacity=\"0.06\" stroke=\"" << colour
            << "\"/><rect class=\"start-bit\" x=\"" << number(xOf(start)) << "\" y=\"" << kTop
            << "\" width=\"" << number(xOf(start + bit) - xOf(start)) << "\" height=\""
            << plotBottom - kTop << "\" fill=\"" << colour << "\" fill-opacity=\"0.15\"/>";
        for (int i = 1; i < 10 && detailed; ++i) {
            const std::string x = number(xOf(start + i * bit));
            out << "<line x1=\"" << x << "\" y1=\"" << kTop << "\" x2=\"" << x << "\" y2=\""
                << plotBottom << "\" stroke=\"" << colour << "\" stroke-opacity=\""
                << (i == 9 ? "0.8" : "0.25") << "\"/>";
        }
        if (detailed)
            out << "<text x=\"" << number(xOf(start + 5 * bit)) << "\" y=\"" << plotBottom - 4
                << "\" text-anchor=\"middle\" fill=\"" << colour << "\">" << hexByte(b.value)
                << "</text>";
        out << "</g>\n";
    }

    // The waveform.
    out << "<path class=\"signal\" fill=\"none\" stroke=\"#000000\" stroke-width=\"1\" d=\"";
    if (keepsSamples()) {
        const double width = static_cast<double>(kPlotWidth) / static_cast<double>(to_ - from_);
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            const double x = xOf(static_cast<double>(from_) + static_cast<double>(i));
            out << (i == 0 ? "M" : "L") << number(x) << " " << number(yOf(samples_[i])) << "H"
                << number(x + width);
        }
    } else {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i].low > columns_[i].high)
                continue;
            const std::string x = number(kLeft + static_cast<double>(i) + 0.5);
            out << "M" << x << " " << number(yOf(columns_[i].high)) << "V"
                << number(yOf(columns_[i].low) + 0.5);
        }
    }
    out << "\"/>\n";

    // Message names above their first byte, in the first of three rows where
    // the name does not run into its neighbour; a name with no room is left
    // out (zoom in with --from and --to), an error's never.
    double rowEnd[3] = {-1e9, -1e9, -1e9};
    for (const Label& l : labels_) {
        const double x = xOf(static_cast<double>(l.sample));
        int row = 0;
        while (row < 3 && rowEnd[row] > x)
            ++row;
        if (row == 3 && !l.error)
            continue;
        row = std::min(row, 2);
        rowEnd[row] = x + 6.5 * static_cast<double>(l.text.size()) + 6;
        out << "<text class=\"message" << (l.error ? " error" : "") << "\" data-sample=\""
            << l.sample << "\" x=\"" << number(x) << "\" y=\"" << 34 + 12 * row << "\""
            << (l.error ? std::string(" fill=\"") + kErrorColour + "\"" : "") << ">"
            << escaped(l.text) << "</text>\n";
    }
    out << "</svg>\n";
}

bool parsePlotPosition(const std::string& text, double rate, std::int64_t& sample) {
    const bool ms = text.size() > 2 && text.compare(text.size() - 2, 2, "ms") == 0;
    const std::string digits = ms ? text.substr(0, text.size() - 2) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789.") != std::string::npos ||
        (!ms && digits.find('.') != std::string::npos))
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(digits.c_str(), &end);
    if (errno != 0 || end != digits.c_str() + digits.size() || !std::isfinite(v) || v > 9e15)
        return false;
    sample = static_cast<std::int64_t>(std::llround(ms ? v * rate / 1000.0 : v));
    return true;
}

}  // namespace serialmidi
