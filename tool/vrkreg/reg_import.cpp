#include "tool/vrkreg/reg_import.hpp"

#include <new>
#include <optional>

#include "tool/vrkreg/reg_access.hpp"
#include "tool/vrkreg/reg_command_support.hpp"
#include "tool/vrkreg/regfile_parser.hpp"

namespace vrk::regfile {

namespace {

using vrk::reg::Registry;

const char* const kNothingImported = "; nothing was imported";

std::string valueName(const Operation& op) {
    return op.name.empty() ? std::string("(Default)") : "\"" + op.name + "\"";
}

// Applies the changes of a file one by one, keeping the key of the last key
// line open for the value lines below it.
class Applier {
public:
    Applier(Registry& reg, const std::string& file) : reg_(reg), file_(file) {}

    void operator()(const Operation& op) {
        try {
            apply(op);
        } catch (const CommandFailure& f) {
            throw CommandFailure(file_ + ":" + std::to_string(op.line) + ": " + f.what(),
                                 f.error());
        }
    }

    void finish() { current_.reset(); }

private:
    void apply(const Operation& op) {
        switch (op.kind) {
        case Operation::Kind::openKey:
            current_.reset();
            current_.emplace(openOrCreate(reg_, op.key));
            break;
        case Operation::Kind::deleteKey:
            current_.reset();
            deleteTree(reg_, op.key);
            break;
        case Operation::Kind::setValue: {
            const long rc = reg_.setValueEx(current_->get(), op.name.c_str(), op.type,
                                            reinterpret_cast<const unsigned char*>(op.data.data()),
                                            static_cast<std::uint32_t>(op.data.size()));
            if (rc != vrk::reg::kSuccess)
                throwFailure(reg_, "cannot set value " + valueName(op) + " in " + fullPath(op.key),
                             rc);
            break;
        }
        case Operation::Kind::deleteValue: {
            const long rc = reg_.deleteValue(current_->get(), op.name.c_str());
            if (rc != vrk::reg::kSuccess && rc != vrk::reg::kFileNotFound)
                throwFailure(
                    reg_, "cannot delete value " + valueName(op) + " of " + fullPath(op.key), rc);
            break;
        }
        }
    }

    Registry& reg_;
    const std::string& file_;
    std::optional<OpenKey> current_;
};

std::string malformed(const std::string& file, const ParseResult& parsed) {
    return file + ":" + std::to_string(parsed.errorLine) + ": " + parsed.error;
}

}  // namespace

unsigned importRegFile(Registry& reg, RestartableSource& input, const std::string& name,
                       const SkipSink* onSkipped) {
    unsigned skipped = 0;
    const SkipSink count = [&](unsigned line, const std::string& reason) {
        ++skipped;
        (*onSkipped)(line, reason);
    };
    const SkipSink ignore = [](unsigned, const std::string&) {};
    try {
        const ParseResult checked = parseRegStream(
            input, [](Operation&&) {}, onSkipped ? &count : nullptr);
        if (!checked.ok) throw CommandFailure(malformed(name, checked));
        input.restart();
        regcmd::inBatch(reg, "the import of " + name, [&] {
            Applier apply(reg, name);
            const ParseResult applied = parseRegStream(
                input, [&](Operation&& op) { apply(op); }, onSkipped ? &ignore : nullptr);
            apply.finish();
            // The file was checked whole; it can only fail now when it changed.
            if (!applied.ok) throw CommandFailure(malformed(name, applied));
        });
    } catch (const regcmd::PartlyApplied&) {
        throw;
    } catch (const ReadFailure& f) {
        throw CommandFailure("cannot read " + name + ": " + f.what() + kNothingImported);
    } catch (const std::bad_alloc&) {
        throw CommandFailure("cannot import " + name + ": not enough memory" + kNothingImported,
                             vrk::reg::kNotEnoughMemory);
    } catch (const CommandFailure& f) {
        throw CommandFailure(f.what() + std::string(kNothingImported), f.error());
    }
    return skipped;
}

}  // namespace vrk::regfile
