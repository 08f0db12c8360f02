// Randomized side-by-side runs of the changing IString operations against a
// std::string model. The seed is printed; set VRK_SEED to repeat a run.
#include "base/ibuffer.hpp"
#include "base/istring.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string bytes(const IString& s) { return std::string(static_cast<const char*>(s), s.length()); }

IString value(const std::string& s) { return IString(s.data(), static_cast<unsigned>(s.size())); }

// The model: plain std::string operations with 1-based positions.

unsigned modelPositionOf(const std::string& s, const std::string& pattern, unsigned start) {
    std::size_t from = start == 0 ? 0 : start - 1;
    if (pattern.empty() || from > s.size()) return 0;
    std::size_t found = s.find(pattern, from);
    return found == std::string::npos ? 0 : static_cast<unsigned>(found + 1);
}

unsigned modelLastPositionOf(const std::string& s, const std::string& pattern, unsigned start) {
    if (start == 0 || pattern.empty() || pattern.size() > s.size()) return 0;
    std::size_t from = std::min<std::size_t>(start - 1, s.size() - pattern.size());
    std::size_t found = s.rfind(pattern, from);
    return found == std::string::npos ? 0 : static_cast<unsigned>(found + 1);
}

std::string modelSection(const std::string& s, unsigned start, unsigned length, char fill) {
    std::size_t from = start == 0 ? 0 : start - 1;
    std::string out = from < s.size() ? s.substr(from, length) : std::string();
    out.resize(length, fill);
    return out;
}

std::string modelSubstitute(const std::string& s, const std::string& pattern,
                            const std::string& replacement, unsigned start, unsigned maxCount) {
    std::size_t from = start == 0 ? 0 : start - 1;
    if (pattern.empty() || maxCount == 0 || from > s.size()) return s;
    std::string out = s.substr(0, from);
    std::size_t pos = from;
    for (unsigned count = 0; count < maxCount; ++count) {
        std::size_t found = s.find(pattern, pos);
        if (found == std::string::npos) break;
        out += s.substr(pos, found - pos) + replacement;
        pos = found + pattern.size();
    }
    return out + s.substr(pos);
}

int modelCompare(const std::string& a, const std::string& b) {
    int c = a.compare(b);  // char_traits<char> compares as unsigned char
    return c == 0 ? 0 : (c > 0 ? 1 : 2);
}

unsigned seedForRun() {
    if (const char* fixed = std::getenv("VRK_SEED"))
        return static_cast<unsigned>(std::strtoul(fixed, nullptr, 10));
    return std::random_device{}();
}

class Runner {
public:
    explicit Runner(unsigned seed) : random(seed) {}

    std::string text(unsigned maxLength) {
        static const char alphabet[] = {'a', 'b', '\n', 'A', 'z', '\0', '\xe9', ' '};
        std::string s(pick(maxLength), ' ');
        // Mostly the first three bytes, so that patterns recur and overlap.
        for (char& c : s) c = alphabet[pick(4) == 0 ? pick(sizeof alphabet - 1) : pick(2)];
        return s;
    }
    unsigned pick(unsigned max) { return std::uniform_int_distribution<unsigned>(0, max)(random); }
    unsigned position(const std::string& s) {
        switch (pick(5)) {
        case 0: return 0;
        case 1: return 4294967295u;
        default: return pick(static_cast<unsigned>(s.size()) + 2);
        }
    }

    std::mt19937 random;
};

}  // namespace

TEST(IStringRandomized, ChangingOperationsMatchTheModel) {
    unsigned seed = seedForRun();
    std::cout << "IStringRandomized seed: " << seed << " (set VRK_SEED to repeat)" << std::endl;
    SCOPED_TRACE("seed " + std::to_string(seed));
    Runner r(seed);

    for (int round = 0; round < 300; ++round) {
        std::string model = r.text(12);
        IString s = value(model);
        // Copies taken along the way must never see later changes.
        std::vector<std::pair<IString, std::string>> snapshots;
        std::string history;

        for (int step = 0; step < 30 && model.size() < 4000; ++step) {
            if (r.pick(3) == 0) snapshots.emplace_back(s, model);
            switch (r.pick(8)) {
            case 0: {  // append a value
                std::string tail = r.text(5);
                history += " +=value";
                s += value(tail);
                model += tail;
                break;
            }
            case 1: {  // append a text: it ends at its first NUL
                std::string tail = r.text(5);
                history += " +=text";
                s += tail.c_str();
                model += std::string(tail.c_str());
                break;
            }
            case 2: {  // write through the changing index, maybe extending
                unsigned at = r.pick(static_cast<unsigned>(model.size()) + 3);
                char c = "qQ\0"[r.pick(2)];
                history += " [" + std::to_string(at) + "]=" + c;
                s[at] = c;
                unsigned index = at == 0 ? 0 : at - 1;
                if (index >= model.size()) model.resize(index + 1, ' ');
                model[index] = c;
                break;
            }
            case 3:
                history += " upper";
                s.makeUpperCase();
                for (char& c : model)
                    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                break;
            case 4: {
                std::string pattern = r.text(2);
                std::string replacement = r.text(3);
                unsigned start = r.position(model);
                unsigned maxCount = r.pick(2) == 0 ? 4294967295u : r.pick(3);
                history += " substitute(" + std::to_string(pattern.size()) + "," +
                           std::to_string(replacement.size()) + "," + std::to_string(start) + "," +
                           std::to_string(maxCount) + ")";
                s.substitute(pattern.data(), static_cast<unsigned>(pattern.size()),
                             replacement.data(), static_cast<unsigned>(replacement.size()), start,
                             maxCount);
                model = modelSubstitute(model, pattern, replacement, start, maxCount);
                break;
            }
            case 5: {
                unsigned start = r.position(model);
                unsigned length = r.pick(static_cast<unsigned>(model.size()) + 3);
                history += " section(" + std::to_string(start) + "," + std::to_string(length) + ")";
                s = s.section(start, length, '#');
                model = modelSection(model, start, length, '#');
                break;
            }
            case 6: {
                unsigned start = r.position(model);
                history += " sectionFrom(" + std::to_string(start) + ")";
                s = s.sectionFrom(start);
                std::size_t from = start == 0 ? 0 : start - 1;
                model = from < model.size() ? model.substr(from) : std::string();
                break;
            }
            case 7:
                if (model.size() > 200) break;
                history += " hex";
                s.makeHexText();
                {
                    std::string hex;
                    for (unsigned char c : model) {
                        hex += "0123456789ABCDEF"[c >> 4];
                        hex += "0123456789ABCDEF"[c & 15];
                    }
                    model = hex;
                }
                break;
            default:
                history += " copy";
                s = IString(s);
                break;
            }
            ASSERT_EQ(bytes(s), model) << "after" << history;
            ASSERT_EQ(static_cast<const char*>(s)[s.length()], '\0') << "after" << history;
            if (model.empty()) {
                ASSERT_EQ(IBuffer::fromContents(s), IBuffer::emptyBuffer()) << "after" << history;
            }
        }
        for (const auto& [copy, expected] : snapshots)
            ASSERT_EQ(bytes(copy), expected) << "a copy changed after" << history;
    }
}

TEST(IStringRandomized, QueriesMatchTheModel) {
    unsigned seed = seedForRun();
    std::cout << "IStringRandomized seed: " << seed << " (set VRK_SEED to repeat)" << std::endl;
    SCOPED_TRACE("seed " + std::to_string(seed));
    Runner r(seed);

    for (int round = 0; round < 3000; ++round) {
        std::string text = r.text(10);
        std::string pattern = r.text(3);
        std::string other = r.pick(3) == 0 ? text : r.text(10);
        IString s = value(text);
        unsigned start = r.position(text);
        std::string label = "text of " + std::to_string(text.size()) + " bytes, pattern of " +
                            std::to_string(pattern.size()) + ", start " + std::to_string(start);
        ASSERT_EQ(s.positionOf(pattern.data(), static_cast<unsigned>(pattern.size()), start),
                  modelPositionOf(text, pattern, start))
            << label;
        ASSERT_EQ(s.lastPositionOf(pattern.data(), static_cast<unsigned>(pattern.size()), start),
                  modelLastPositionOf(text, pattern, start))
            << label;
        if (!pattern.empty()) {
            ASSERT_EQ(s.positionOf(pattern[0], start),
                      modelPositionOf(text, pattern.substr(0, 1), start))
                << label;
            ASSERT_EQ(s.lastPositionOf(pattern[0], start),
                      modelLastPositionOf(text, pattern.substr(0, 1), start))
                << label;
        }
        ASSERT_EQ(s.compare(value(other)), modelCompare(text, other)) << label;
        ASSERT_EQ(s == value(other), text == other) << label;
        unsigned minLength = r.pick(4);
        std::string word = r.pick(1) ? text + r.text(3) : r.text(12);
        bool expectedShort = text.size() <= word.size() &&
                             text.size() >= (minLength == 0 ? text.size() : minLength) &&
                             word.compare(0, text.size(), text) == 0;
        ASSERT_EQ(s.isShortFormOf(word.data(), static_cast<unsigned>(word.size()), minLength),
                  expectedShort)
            << label;
    }
}
