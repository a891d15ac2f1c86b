// vantel._vantel: the engine and vantel-gen's library as Python sees them.
//
// Only conversions live here: option lists in, samples, rows and lines out.
// Every decision about a clip, a file or a sweep is made by the same batch::
// calls vantel-gen makes, so the two cannot drift apart.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unistd.h>
#include <variant>
#include <vector>

#include "batch/options.h"
#include "batch/render.h"
#include "keying/extended_morse.h"
#include "batch/manifest.h"
#include "batch/ranges.h"
#include "batch/sweep.h"
#include "synth/noise_source.h"
#include "synth/run_plan.h"
#include "vantel_version.h"
#include "wav/wav_writer.h"
#include "batch/report.h"
#include "save/publish.h"

namespace py = pybind11;
using namespace vantel;

namespace {

// Texts in the manifest are the bytes as typed; Python gets them as the JSON
// manifest gives them, with each byte that is not valid UTF-8 as U+FFFD.
py::str text(const std::string& bytes) {
    PyObject* decoded = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace");
    if (decoded == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(decoded);
}

py::list labelList(const std::vector<keying::TimedLabel>& labels) {
    py::list list;
    for (const keying::TimedLabel& l : labels) list.append(py::make_tuple(text(l.text), l.start, l.end));
    return list;
}

// One manifest field as a Python value: a real number with no value to give
// (NaN, infinite) is None, as it is null in manifest.jsonl.
py::object fieldObject(const batch::FieldValue& value) {
    return std::visit(
        [](const auto& v) -> py::object {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return text(v);
            } else if constexpr (std::is_same_v<T, double>) {
                return std::isfinite(v) ? py::object(py::float_(v)) : py::object(py::none());
            } else if constexpr (std::is_same_v<T, batch::SeedValue>) {
                return py::int_(v.value);
            } else if constexpr (std::is_same_v<T, std::vector<keying::TimedLabel>>) {
                return labelList(v);
            } else if constexpr (std::is_same_v<T, std::monostate>) {
                return py::none();
            } else if constexpr (std::is_same_v<T, batch::JsonValue>) {
                // A structured field (the QRM stations): as JSON readers get it.
                return py::module_::import("json").attr("loads")(v.json);
            } else {
                return py::cast(v);
            }
        },
        value);
}

py::dict rowDict(const batch::ManifestRow& row) {
    py::dict dict;
    for (const auto& [name, value] : row) dict[py::str(name)] = fieldObject(value);
    return dict;
}

// The level report's lines as vantel-gen prints them after a run.
std::vector<std::string> reportLines(const batch::GenOptions& options, const batch::FileResult& result) {
    std::vector<std::string> lines;
    const std::string& report = result.report.text;
    for (std::size_t start = 0;;) {
        const std::size_t end = report.find(synth::kLineBreak, start);
        lines.push_back(report.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    if (const auto line = batch::autoLevelLine(options, result)) lines.push_back(*line);
    lines.push_back(batch::measuredSnrLine(result));
    if (const auto line = batch::measuredInterferenceLine(result)) lines.push_back(*line);
    return lines;
}

// The samples as an int16 array that owns them: the vector is moved, not
// copied, and freed with the array. Read-only, so that a clip saved later is
// still the clip that was made.
py::array_t<std::int16_t> ownedSamples(std::vector<std::int16_t>&& samples) {
    auto* owned = new std::vector<std::int16_t>(std::move(samples));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<std::int16_t>*>(p); });
    py::array_t<std::int16_t> array({static_cast<py::ssize_t>(owned->size())}, {static_cast<py::ssize_t>(sizeof(std::int16_t))},
                                    owned->data(), owner);
    array.attr("setflags")(py::arg("write") = false);
    return array;
}

// With the GIL held.
bool inMainThread() {
    const py::module_ threading = py::module_::import("threading");
    return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// Ctrl-C reaches Python only in the main thread, and only when it runs Python
// code: a long run in the main thread looks for it now and then. Other
// threads never take the GIL mid-run, so they keep generating in parallel.
batch::StopRequested keyboardInterruptCheck(bool mainThread) {
    if (!mainThread) return {};
    static constexpr auto kLookEvery = std::chrono::milliseconds(100);
    return [next = std::chrono::steady_clock::now() + kLookEvery]() mutable {
        const auto now = std::chrono::steady_clock::now();
        if (now < next) return false;
        next = now + kLookEvery;
        py::gil_scoped_acquire gil;
        return PyErr_CheckSignals() != 0;
    };
}

py::dict generateClip(const batch::GenOptions& given, std::size_t index, const std::string& fileName) {
    const batch::GenOptions options = given;
    batch::Clip clip;
    batch::ManifestRow row;
    std::vector<std::string> report;
    std::optional<std::string> clipping;
    double snr = 0;
    const bool mainThread = inMainThread();
    try {
        py::gil_scoped_release release;
        clip = batch::generateClip(options, keyboardInterruptCheck(mainThread));
        row = batch::manifestRow(index, fileName, options, clip.result);
        report = reportLines(options, clip.result);
        clipping = batch::clippingWarning(clip.result);
        snr = batch::measuredSnrDb(clip.result);
    } catch (const batch::Interrupted&) {
        throw py::error_already_set();  // the KeyboardInterrupt PyErr_CheckSignals raised
    }
    py::dict out;
    out["rate"] = clip.result.prepared.setup.plan.sampleRate;
    out["samples"] = ownedSamples(std::move(clip.samples));
    out["report"] = report;
    out["clipping_warning"] = clipping;
    out["snr_measured_db"] = snr;
    out["settings"] = rowDict(row);
    return out;
}

void saveWav(const std::string& path, std::int32_t rate,
             const py::array_t<std::int16_t, py::array::c_style | py::array::forcecast>& samples) {
    if (samples.ndim() != 1) throw py::value_error("the samples must be one-dimensional");
    const std::span<const std::int16_t> view(samples.data(), static_cast<std::size_t>(samples.size()));
    const bool mainThread = inMainThread();
    try {
        py::gil_scoped_release release;
        // A FIFO's reader may be slow to come or to read: Ctrl-C ends the wait.
        batch::writeSamplesFile(path, rate, view, keyboardInterruptCheck(mainThread));
    } catch (const batch::Interrupted&) {
        throw py::error_already_set();  // the KeyboardInterrupt PyErr_CheckSignals raised
    }
}

// A sweep's plan, with the arguments it was read from so that it can be sent
// to another process: there the options are read again from the same
// arguments (reading them has no side effects), and the lists the plan
// expanded and the messages file it read come along as they are.
struct Plan {
    std::vector<std::string> args;
    batch::SweepPlan plan;
};

Plan planSweep(const std::vector<std::string>& args) {
    return Plan{args, batch::planSweep(batch::parseOptions(args))};
}

using TextList = std::vector<std::optional<std::string>>;

py::list bytesList(const TextList& texts) {
    py::list list;
    for (const auto& t : texts) list.append(t ? py::object(py::bytes(*t)) : py::object(py::none()));
    return list;
}

py::tuple planState(const Plan& p) {
    // Another process has another current folder: the plan it gets names its
    // folder in full.
    const std::string folder = std::filesystem::absolute(p.plan.folder).string();
    py::list args, names;
    for (const std::string& a : p.args) args.append(py::bytes(a));
    for (const std::string& n : p.plan.names) names.append(py::bytes(n));
    py::list bands;
    for (const TextList& values : p.plan.bands) bands.append(bytesList(values));
    return py::make_tuple(args, py::bytes(folder), bytesList(p.plan.messages), bytesList(p.plan.wpms),
                          bytesList(p.plan.tones), bytesList(p.plan.snrs), p.plan.seed, names, bands);
}

Plan planFromState(const py::tuple& state) {
    if (state.size() != 9) throw std::runtime_error("not a vantel sweep plan");
    Plan p;
    p.args = state[0].cast<std::vector<std::string>>();
    p.plan.base = batch::parseOptions(p.args);
    p.plan.folder = state[1].cast<std::string>();
    p.plan.messages = state[2].cast<TextList>();
    p.plan.wpms = state[3].cast<TextList>();
    p.plan.tones = state[4].cast<TextList>();
    p.plan.snrs = state[5].cast<TextList>();
    p.plan.seed = state[6].cast<std::uint64_t>();
    p.plan.names = state[7].cast<std::vector<std::string>>();
    const auto bands = state[8].cast<std::vector<TextList>>();
    if (bands.size() != p.plan.bands.size()) throw std::runtime_error("not a vantel sweep plan");
    std::copy(bands.begin(), bands.end(), p.plan.bands.begin());
    return p;
}

// The mark in the temporaries of one distributed sweep's files, so that the
// client can find what workers that died mid-file left behind.
std::string temporaryMark(const std::string& token) { return ".partial-" + token + "-"; }

// Makes file `index` of the sweep as vantel-gen's workers do, in the folder
// (the client holds it) opened afresh, through a temporary marked with the
// sweep's `token`. Returns its manifest lines (CSV, JSON) with its clipped
// and total sample counts, or None when `stop` (asked between pieces of the
// run, with the GIL) said to stop first; then nothing of the file is left.
py::object makeFile(const Plan& p, std::size_t index, const py::object& stop, const std::string& token) {
    if (index >= p.plan.names.size()) throw py::index_error("no file " + std::to_string(index) + " in this sweep");
    const batch::GenOptions options = batch::fileOptions(p.plan, index);
    batch::StopRequested stopRequested;
    if (!stop.is_none()) {
        stopRequested = [&stop] {
            py::gil_scoped_acquire gil;
            return stop().cast<bool>();
        };
    }
    batch::FileResult result;
    std::string csv, json;
    try {
        py::gil_scoped_release release;
        const save::Folder folder(p.plan.folder, p.plan.folder.string());
        const batch::FileWriting how = batch::sweepFileWriting(temporaryMark(token) + std::to_string(::getpid()));
        result = batch::generateFileIn(folder, p.plan.names[index], how, options, stopRequested);
        const batch::ManifestRow row = batch::manifestRow(index, p.plan.names[index], options, result);
        csv = batch::csvLine(row);
        json = batch::jsonLine(row);
    } catch (const batch::Interrupted&) {
        return py::none();
    }
    return py::make_tuple(py::bytes(csv), py::bytes(json), result.stats.clipped, result.prepared.setup.plan.totalSamples);
}

// The whole sweep in this process, by vantel-gen's own workers. Ctrl-C is
// looked for while they run and stops them as it stops the command.
// File `index`'s manifest lines and counts as make_file returns them, made
// here in memory: for a complete file whose worker died before reporting.
py::tuple fileRow(const Plan& p, std::size_t index) {
    if (index >= p.plan.names.size()) throw py::index_error("no file " + std::to_string(index) + " in this sweep");
    const batch::GenOptions options = batch::fileOptions(p.plan, index);
    batch::Clip clip;
    std::string csv, json;
    {
        py::gil_scoped_release release;
        clip = batch::generateClip(options);
        const batch::ManifestRow row = batch::manifestRow(index, p.plan.names[index], options, clip.result);
        csv = batch::csvLine(row);
        json = batch::jsonLine(row);
    }
    return py::make_tuple(py::bytes(csv), py::bytes(json), clip.result.stats.clipped,
                          clip.result.prepared.setup.plan.totalSamples);
}

// A sweep's folder held by this process (the client of a distributed sweep).
struct HeldFolder {
    std::unique_ptr<batch::HeldFolder> held;

    const batch::HeldFolder& get() const {
        if (!held) throw std::runtime_error("the sweep's folder was let go");
        return *held;
    }
};

// The manifest of the files in `lines` (index -> (CSV, JSON, ...)), in index
// order, in the held folder.
void writeManifest(const Plan& p, const HeldFolder& folder, const py::dict& lines) {
    std::vector<std::pair<std::size_t, batch::ManifestWriter::Lines>> rows;
    for (const auto& [index, made] : lines) {
        const auto row = made.cast<py::tuple>();
        rows.push_back({index.cast<std::size_t>(), {row[0].cast<std::string>(), row[1].cast<std::string>()}});
    }
    py::gil_scoped_release release;
    batch::ManifestWriter manifest(folder.get().folder(), p.plan.folder.string());
    for (auto& [index, row] : rows) manifest.add(index, std::move(row));
    manifest.finish();
}

py::dict runSweepLocal(const Plan& p, unsigned jobs, bool progress) {
    std::atomic<bool> interrupted{false};
    batch::SweepOutcome outcome;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<py::error_already_set> signalled;
    {
        py::gil_scoped_release release;
        std::thread worker([&] {
            try {
                const batch::HeldFolder folder(p.plan);
                outcome = batch::runSweep(p.plan, folder, batch::SweepControls{jobs, progress}, interrupted);
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard lock(mutex);
            done = true;
            finished.notify_all();
        });
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
            if (signalled) continue;
            lock.unlock();
            {
                py::gil_scoped_acquire gil;
                if (PyErr_CheckSignals() != 0) {
                    signalled.emplace();
                    interrupted = true;
                }
            }
            lock.lock();
        }
        lock.unlock();
        worker.join();
    }
    if (signalled && !signalled->matches(PyExc_KeyboardInterrupt)) throw *signalled;
    if (failure) std::rethrow_exception(failure);
    py::dict out;
    out["files_written"] = outcome.filesWritten;
    out["interrupted"] = outcome.interrupted;
    out["error"] = text(outcome.error);
    out["clipping_warning"] = batch::sweepClippingWarning(outcome, p.plan.base.autoLevel());
    return out;
}

std::optional<std::string> sweepClippingWarning(const Plan& p, std::size_t written, std::size_t clipped,
                                                double worstShare, const std::string& worstFile) {
    batch::SweepOutcome outcome;
    outcome.filesWritten = written;
    outcome.filesClipped = clipped;
    outcome.worstClippedShare = worstShare;
    outcome.worstClippedFile = worstFile;
    return batch::sweepClippingWarning(outcome, p.plan.base.autoLevel());
}

}  // namespace

PYBIND11_MODULE(_vantel, m) {
    m.doc() = "Vantel's engine and vantel-gen's library (use the vantel package, not this module)";

    // vantel-gen's one-line messages, word for word.
    py::register_exception_translator([](std::exception_ptr e) {
        try {
            if (e) std::rethrow_exception(e);
        } catch (const batch::UsageError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        } catch (const synth::RunError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        } catch (const keying::MessageError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        } catch (const wav::FileError& error) {
            PyErr_SetString(PyExc_OSError, error.what());
        } catch (const save::PublishError& error) {
            PyErr_SetString(PyExc_OSError, error.what());
        } catch (const std::filesystem::filesystem_error& error) {
            PyErr_SetString(PyExc_OSError, error.what());
        }
    });

    m.attr("VERSION") = std::string(kVersion);
    m.attr("STARTUP_SEED") = synth::NoiseSource::kStartupSeed;
    m.attr("MANIFEST_CSV") = batch::kManifestCsv;
    m.attr("MANIFEST_JSONL") = batch::kManifestJsonl;

    py::class_<batch::GenOptions>(m, "Options", "vantel-gen's options, as read from an argument list")
        .def_readonly("output", &batch::GenOptions::output)
        .def_readonly("sweep", &batch::GenOptions::sweep)
        .def_readonly("help", &batch::GenOptions::help)
        .def_readonly("version", &batch::GenOptions::version)
        .def_readonly("strict", &batch::GenOptions::strict)
        .def_readonly("quiet", &batch::GenOptions::quiet)
        .def_readonly("quiet_warnings", &batch::GenOptions::quietWarnings)
        .def_readonly("jobs", &batch::GenOptions::jobs);

    m.def("parse_options", &batch::parseOptions, py::arg("args"),
          "vantel-gen's options from its argument list; ValueError with its message when they cannot be used");
    m.def("usage", &batch::usageText);
    m.def("loose_text_warnings", py::overload_cast<const batch::GenOptions&>(&batch::looseTextWarnings));
    m.def("generate_clip", &generateClip, py::arg("options"), py::arg("index") = 0, py::arg("file_name"));
    m.def("save_wav", &saveWav, py::arg("path"), py::arg("rate"), py::arg("samples"));
    m.def("expand_values", &batch::expandValues, py::arg("option"), py::arg("text"),
          "a sweep value (20, 0,3,6, -20:10:2, 0:6:2,10) as the texts it gives");
    m.def("file_seed", &batch::fileSeed, py::arg("seed"), py::arg("index"));
    m.def("csv_header", [] { return py::bytes(batch::csvHeader()); });

    py::class_<Plan>(m, "SweepPlan")
        .def_property_readonly("names", [](const Plan& p) { return p.plan.names; })
        .def_property_readonly("folder", [](const Plan& p) { return p.plan.folder.string(); })
        .def_property_readonly("options", [](const Plan& p) { return p.plan.base; })
        .def("__len__", [](const Plan& p) { return p.plan.names.size(); })
        .def("check_output_folder", [](const Plan& p) { batch::checkOutputFolder(p.plan); })
        .def("loose_text_warnings", [](const Plan& p) { return batch::looseTextWarnings(p.plan); })
        .def("make_file", &makeFile, py::arg("index"), py::arg("stop") = py::none(), py::arg("token"))
        .def("hold_folder",
             [](const Plan& p) {
                 HeldFolder folder;
                 folder.held = std::make_unique<batch::HeldFolder>(p.plan);
                 return folder;
             },
             "makes the sweep's folder and holds it for this sweep alone until released; ValueError when "
             "another sweep holds it or it holds files of this sweep")
        .def("write_manifest", &writeManifest, py::arg("folder"), py::arg("lines"))
        .def("file_row", &fileRow, py::arg("index"))
        .def(py::pickle(&planState, &planFromState));
    py::class_<HeldFolder>(m, "HeldFolder")
        .def("release", [](HeldFolder& f) { f.held.reset(); })
        .def("remove_temporaries",
             [](const HeldFolder& f, const std::string& token) { return f.get().removeTemporaries(temporaryMark(token)); },
             py::arg("token"), "removes the temporaries of this sweep's files that dead workers left; the names left");
    m.def("plan_sweep", &planSweep, py::arg("args"));
    m.def("run_sweep_local", &runSweepLocal, py::arg("plan"), py::arg("jobs"), py::arg("progress"));
    m.def("sweep_clipping_warning", &sweepClippingWarning, py::arg("plan"), py::arg("files_written"),
          py::arg("files_clipped"),
          py::arg("worst_share"), py::arg("worst_file"));
}
