// analyze against stand-ins whose answer is known in closed form: a gain, a
// biquad low-pass and a hard clipper (FakePlugin.cpp), end to end through
// the binary and its CSV tables.
#include <cairo.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

#include <gtest/gtest.h>

#include "CliSupport.h"

using namespace clitest;

namespace {

constexpr double kPi = std::numbers::pi;

struct Csv {
    std::vector<std::string> names;
    std::vector<std::vector<double>> columns;
    // Columns whose name holds every one of the parts, in file order.
    std::vector<std::size_t> find(std::initializer_list<const char*> parts) const {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < names.size(); ++i) {
            bool all = true;
            for (const char* part : parts) all = all && names[i].find(part) != std::string::npos;
            if (all) found.push_back(i);
        }
        return found;
    }
};

Csv readCsv(const std::string& path) {
    Csv csv;
    const auto rows = lines(readText(path));
    EXPECT_FALSE(rows.empty()) << path;
    if (rows.empty()) return csv;
    std::stringstream header(rows[0]);
    for (std::string name; std::getline(header, name, ',');) csv.names.push_back(name);
    csv.columns.resize(csv.names.size());
    for (std::size_t r = 1; r < rows.size(); ++r) {
        std::stringstream row(rows[r]);
        std::string cell;
        for (auto& column : csv.columns) {
            std::getline(row, cell, ',');
            column.push_back(cell.empty() ? std::nan("") : std::stod(cell));
        }
    }
    return csv;
}

std::string analyze(const std::string& plugin, std::vector<std::string> options) {
    const std::string dir = scratchDir() + "/out";
    std::vector<std::string> args = {"analyze", pluginPath(plugin), "--out", dir, "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult run = runHost(args);
    EXPECT_TRUE(run.exited && run.exitCode == 0) << run.err;
    return dir;
}

// Fourier coefficient n of a sine of amplitude a clipped at c.
double clippedSine(double a, double c, int n) {
    if (a <= c) return n == 1 ? a : 0.0;
    const double t = std::asin(c / a);
    const double inner = n == 1 ? 0.5 * (t - std::sin(2.0 * t) / 2.0)
                                : 0.5 * (std::sin((n - 1) * t) / (n - 1) - std::sin((n + 1) * t) / (n + 1));
    return 4.0 / kPi * (a * inner + c * std::cos(n * t) / n);
}

}  // namespace

TEST(Analyze, GainIsFlatAndCleanForEveryValueOfTheFamily) {
    const std::string dir = analyze("fake_gain", {"--vary", "gain=-12u,0u,6u", "--thd-step", "3"});
    const Csv response = readCsv(dir + "/response.csv");
    ASSERT_EQ(response.names[0], "frequency_hz");
    EXPECT_NEAR(response.columns[0].front(), 10.0, 0.1);
    EXPECT_DOUBLE_EQ(response.columns[0].back(), 22050.0);
    const Csv thd = readCsv(dir + "/thd.csv");
    const double gains[] = {-12.0, 0.0, 6.0};
    for (int v = 0; v < 3; ++v) {
        const std::string label = "[" + std::string(v == 0 ? "-12.00" : v == 1 ? "0.00" : "6.00") + " dB]";
        const auto magnitudes = response.find({"magnitude_db", label.c_str()});
        ASSERT_EQ(magnitudes.size(), 2u) << label;  // left and right
        for (const std::size_t m : magnitudes)
            for (const double db : response.columns[m]) ASSERT_NEAR(db, gains[v], 0.05) << response.names[m];
        const auto outputs = thd.find({"output_dbfs", label.c_str()});
        const auto distortion = thd.find({"thd_db", label.c_str()});
        ASSERT_EQ(outputs.size(), 2u);
        for (std::size_t r = 0; r < thd.columns[0].size(); ++r) {
            EXPECT_NEAR(thd.columns[outputs[0]][r], thd.columns[0][r] + gains[v], 0.05);
            EXPECT_LT(thd.columns[distortion[0]][r], -120.0) << "at " << thd.columns[0][r] << " dBFS";
        }
    }
    // A step and an impulse at t = 0: the gain itself from there on, and
    // nothing before, so both are aligned to the sample.
    const Csv step = readCsv(dir + "/step.csv");
    const auto steps = step.find({"left_step"});
    const auto impulses = step.find({"left_impulse"});
    ASSERT_EQ(steps.size(), 3u);
    for (std::size_t r = 0; r < step.columns[0].size(); ++r) {
        const double t = step.columns[0][r];
        const double gain = std::pow(10.0, gains[2] / 20.0);
        EXPECT_NEAR(step.columns[steps[2]][r], t >= 0.0 ? gain : 0.0, 1e-5) << t << " ms";
        EXPECT_NEAR(step.columns[impulses[2]][r], std::abs(t) < 1e-9 ? gain : 0.0, 1e-5) << t << " ms";
    }
    // Each measurement's picture, the size render's plot has.
    for (const char* name : {"response", "distortion", "thd", "step"}) {
        auto* surface = cairo_image_surface_create_from_png((dir + "/" + name + ".png").c_str());
        EXPECT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS) << name;
        EXPECT_EQ(cairo_image_surface_get_width(surface), 1400) << name;
        EXPECT_EQ(cairo_image_surface_get_height(surface), 900) << name;
        cairo_surface_destroy(surface);
    }
}

TEST(Analyze, LowPassFollowsItsAnalyticCurveFarDownItsSlope) {
    const double rate = 48000.0;
    const std::string dir = analyze("fake_lowpass", {"--vary", "cutoff=0.2,0.5", "--sample-rate", "48000",
                                                     "--only", "response", "--sweep-seconds", "5"});
    const Csv csv = readCsv(dir + "/response.csv");
    const auto magnitudes = csv.find({"left_magnitude_db"});
    ASSERT_EQ(magnitudes.size(), 2u);
    const double normalised[] = {0.2, 0.5};
    for (int v = 0; v < 2; ++v) {
        const double cutoff = 20.0 * std::pow(1000.0, static_cast<double>(static_cast<float>(normalised[v])));
        const double w0 = 2.0 * kPi * cutoff / rate, alpha = std::sin(w0) / std::sqrt(2.0), c = std::cos(w0);
        const auto response = [&](double f) {
            const std::complex<double> z = std::polar(1.0, -2.0 * kPi * f / rate);
            return (1.0 - c) / 2.0 * (1.0 + 2.0 * z + z * z) / ((1.0 + alpha) - 2.0 * c * z + (1.0 - alpha) * z * z);
        };
        const auto& db = csv.columns[magnitudes[static_cast<std::size_t>(v)]];
        const auto& phase = csv.columns[magnitudes[static_cast<std::size_t>(v)] + 1];
        double deepest = 0.0;
        double halfPower = 0.0;
        for (std::size_t r = 0; r < db.size(); ++r) {
            const double f = csv.columns[0][r];
            if (f > 0.9 * rate / 2.0) break;
            const std::complex<double> h = response(f);
            const double expected = 20.0 * std::log10(std::abs(h));
            if (expected < -90.0) break;
            deepest = expected;
            EXPECT_NEAR(db[r], expected, expected > -60.0 ? 0.1 : 0.5) << f << " Hz, cutoff " << cutoff;
            if (expected > -60.0) {
                EXPECT_NEAR(phase[r], std::arg(h) * 180.0 / kPi, 0.5) << f << " Hz";
            }
            if (r > 0 && db[r - 1] > -3.0103 && db[r] <= -3.0103)
                halfPower = csv.columns[0][r - 1] + (csv.columns[0][r] - csv.columns[0][r - 1]) *
                                                        (db[r - 1] + 3.0103) / (db[r - 1] - db[r]);
        }
        EXPECT_NEAR(halfPower, cutoff, cutoff * 0.01);
        if (v == 0) {
            EXPECT_LT(deepest, -85.0);  // the check reached far down the slope
        }
    }
}

TEST(Analyze, ClipperHarmonicsMatchTheClippedSine) {
    // Ceiling -6 dB; the sweep at full scale.
    const std::string dir = analyze("fake_clipper", {"--only", "thd,response", "--level", "0"});
    const Csv csv = readCsv(dir + "/thd.csv");
    const double ceiling = std::pow(10.0, -6.0 / 20.0);
    // Along the sweep each harmonic's response, read at k times the
    // frequency that made it, is the harmonic itself, below the frequencies
    // whose clipped overtones alias back onto it.
    const Csv sweep = readCsv(dir + "/distortion.csv");
    const double b1 = clippedSine(1.0, ceiling, 1);
    for (std::size_t r = 0; sweep.columns[0][r] < 500.0; ++r) {
        if (sweep.columns[0][r] < 20.0) continue;
        EXPECT_NEAR(sweep.columns[sweep.find({"left_h3_db"})[0]][r],
                    20.0 * std::log10(std::abs(clippedSine(1.0, ceiling, 3)) / b1), 0.05) << sweep.columns[0][r];
        EXPECT_NEAR(sweep.columns[sweep.find({"left_h5_db"})[0]][r],
                    20.0 * std::log10(std::abs(clippedSine(1.0, ceiling, 5)) / b1), 0.05) << sweep.columns[0][r];
    }
    const auto thd = csv.find({"left_thd_db"});
    const auto third = csv.find({"left_h3_db"});
    const auto fifth = csv.find({"left_h5_db"});
    int clipped = 0;
    for (std::size_t r = 0; r < csv.columns[0].size(); ++r) {
        const double a = std::pow(10.0, csv.columns[0][r] / 20.0);
        if (std::abs(a / ceiling - 1.0) < 0.01) continue;  // the knee itself
        if (a < ceiling) {
            EXPECT_LT(csv.columns[thd[0]][r], -120.0) << csv.columns[0][r];
            continue;
        }
        ++clipped;
        const double b1 = clippedSine(a, ceiling, 1);
        double sum = 0.0;
        for (int n = 3; n * 1000 < 22050; n += 2) sum += std::pow(clippedSine(a, ceiling, n), 2.0);
        EXPECT_NEAR(csv.columns[thd[0]][r], 20.0 * std::log10(std::sqrt(sum) / b1), 0.01) << csv.columns[0][r];
        EXPECT_NEAR(csv.columns[third[0]][r], 20.0 * std::log10(std::abs(clippedSine(a, ceiling, 3)) / b1), 0.01);
        EXPECT_NEAR(csv.columns[fifth[0]][r], 20.0 * std::log10(std::abs(clippedSine(a, ceiling, 5)) / b1), 0.01);
    }
    EXPECT_EQ(clipped, 18);
}
