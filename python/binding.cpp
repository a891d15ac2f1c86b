// vantel._vantel: the engine's batch layer as Python sees it.
//
// Only conversions live here: keywords into typed requests, samples, rows and
// lines out. Every decision about a clip, a file or a sweep is made by the
// same batch:: calls vantel-gen makes, so the two cannot drift apart.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "batch/command_line.h"
#include "batch/manifest.h"
#include "batch/progress.h"
#include "batch/ranges.h"
#include "batch/render.h"
#include "batch/report.h"
#include "batch/request.h"
#include "batch/sweep.h"
#include "keying/extended_morse.h"
#include "save/publish.h"
#include "synth/noise_source.h"
#include "text/limit.h"
#include "vantel_version.h"
#include "wav/wav_writer.h"

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

// A stop asked of a Python callable, with the GIL, or none.
batch::StopRequested stopFrom(const py::object& stop) {
    if (stop.is_none()) return {};
    return [&stop] {
        py::gil_scoped_acquire gil;
        return stop().cast<bool>();
    };
}

// "filter_bw" -> "--filter-bw".
std::string optionName(const std::string& keyword) {
    std::string name = "--" + keyword;
    for (char& c : name) c = c == '_' ? '-' : c;
    return name;
}

// The request from keywords: each an option of the request by its name
// without dashes, `-` as `_`, with a text (str or bytes) or, for the flags,
// True (False leaves it off). The values are read by the same rules as on the
// command line, with its messages.
batch::FileRequest fileRequest(const py::dict& options) {
    batch::FileRequest request;
    for (const auto& [key, value] : options) {
        const std::string keyword = key.cast<std::string>();
        const std::string name = optionName(keyword);
        if (batch::isRequestFlag(name)) {
            if (!py::isinstance<py::bool_>(value)) throw batch::UsageError(name + " takes no value");
            if (value.cast<bool>()) batch::setRequestFlag(request, name);
        } else if (batch::isRequestOption(name)) {
            if (py::isinstance<py::bool_>(value)) throw batch::UsageError("option " + name + " needs a value");
            batch::setRequestOption(request, name, value.cast<std::string>());
        } else if (name == batch::kAudioFolderFlag) {
            throw batch::UsageError(name + " goes with a sweep");
        } else {
            // As the command line shows it: "--colour=red".
            const std::string given = py::isinstance<py::bool_>(value) ? name : name + "=" + value.cast<std::string>();
            throw batch::UsageError("unknown option '" + given + "' (see --help)");
        }
    }
    batch::checkRequest(request);
    return request;
}

// A sweep from its shared options, its axes (option name without dashes ->
// a text in the sweep syntax, or a list of texts), its messages (a list, or
// none for the base's message) and its folder.
batch::SweepRequest sweepRequest(const std::filesystem::path& folder, const py::dict& options, const py::dict& axes,
                                 const std::optional<std::vector<std::string>>& messages) {
    // The flag of the sweep as a whole; the rest are its files' options.
    py::dict fileOptions;
    bool audioFolder = false;
    for (const auto& [key, value] : options) {
        if (optionName(key.cast<std::string>()) != batch::kAudioFolderFlag) {
            fileOptions[key] = value;
        } else if (!py::isinstance<py::bool_>(value)) {
            throw batch::UsageError(std::string(batch::kAudioFolderFlag) + " takes no value");
        } else {
            audioFolder = value.cast<bool>();
        }
    }
    batch::FileRequest base = fileRequest(fileOptions);
    batch::FileRequest listed;
    std::vector<std::pair<std::string, std::vector<std::string>>> valueLists;
    for (const auto& [key, value] : axes) {
        const std::string name = optionName(key.cast<std::string>());
        if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value)) {
            batch::setRequestOption(listed, name, value.cast<std::string>());
        } else {
            valueLists.emplace_back(name, value.cast<std::vector<std::string>>());
        }
    }
    batch::SweepRequest sweep = batch::sweepFromTexts(listed, messages, folder);
    sweep.base = base;
    sweep.audioFolder = audioFolder;
    if (!messages) sweep.messages = {base.typed[batch::Typed::Message]};
    for (const auto& [name, values] : valueLists) {
        const batch::Axis axis = batch::axisFromValues(name, values);
        if (name == "--snr") {
            sweep.snrs = axis;
        } else if (name == "--wpm") {
            sweep.wpms = axis;
        } else if (name == "--tone") {
            sweep.tones = axis;
        } else {
            bool found = false;
            for (const batch::BandOption& option : batch::kBandOptions) {
                if (option.name != name) continue;
                sweep.bands[static_cast<std::size_t>(option.id)] = axis;
                found = true;
            }
            if (!found) throw batch::UsageError(name + " takes one value, not a list");
        }
    }
    return sweep;
}

// A clip in memory, as the dict the package's Clip is made from.
py::dict renderClip(const batch::FileRequest& request, std::size_t index, const std::string& fileName) {
    batch::Clip clip;
    batch::ManifestRow row;
    std::vector<std::string> report;
    std::optional<std::string> clipping;
    double snr = 0;
    const bool mainThread = inMainThread();
    try {
        py::gil_scoped_release release;
        clip = batch::renderClip(request, "CWTemp.wav", keyboardInterruptCheck(mainThread));
        row = batch::manifestRow(index, fileName, request, clip.result);
        report = batch::reportLines(request, clip.result);
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
    out["text_changes"] = clip.result.prepared.textChanges;
    return out;
}

void saveWav(const std::string& path, std::int32_t rate,
             const py::array_t<std::int16_t, py::array::c_style | py::array::forcecast>& samples,
             const std::optional<std::string>& format, std::optional<double> quality, const std::string& title,
             const std::string& artist, const std::string& album) {
    if (samples.ndim() != 1) throw py::value_error("the samples must be one-dimensional");
    formats::Tags tags;
    tags.title = title;
    tags.artist = artist;
    tags.album = album;
    const formats::Encoding encoding = batch::encodingFor(path, format, quality, tags);
    const std::span<const std::int16_t> view(samples.data(), static_cast<std::size_t>(samples.size()));
    const bool mainThread = inMainThread();
    try {
        py::gil_scoped_release release;
        // A FIFO's reader may be slow to come or to read: Ctrl-C ends the wait.
        batch::writeSamplesFile(path, rate, view, keyboardInterruptCheck(mainThread), encoding);
    } catch (const batch::Interrupted&) {
        throw py::error_already_set();  // the KeyboardInterrupt PyErr_CheckSignals raised
    }
}

// The mark in the temporaries of one distributed sweep's files, so that the
// client can find what workers that died mid-file left behind.
std::string temporaryMark(const std::string& token) { return ".partial-" + token + "-"; }

py::tuple madeTuple(const batch::SweepFileMade& made) {
    return py::make_tuple(made.index, made.name, py::bytes(made.lines.csv), py::bytes(made.lines.json),
                          made.clippedSamples, made.samples, py::bytes(made.lines.metadata));
}

batch::SweepFileMade madeFrom(const py::tuple& made) {
    return {made[0].cast<std::size_t>(), made[1].cast<std::string>(),
            {made[2].cast<std::string>(), made[3].cast<std::string>(), made[6].cast<std::string>()},
            made[4].cast<std::int64_t>(), made[5].cast<std::int64_t>()};
}

// A cluster's task: the file of `task` in `folder` (the client holds it),
// opened afresh, through a temporary marked with the sweep's `token`. What
// makeSweepFile returns, or None when `stop` said to stop first; then
// nothing of the file is left.
py::object makeSweepFile(const batch::SweepTask& task, const std::filesystem::path& folder, const std::string& token,
                         const py::object& stop) {
    const batch::StopRequested stopRequested = stopFrom(stop);
    batch::SweepFileMade made;
    try {
        py::gil_scoped_release release;
        const save::Folder held(folder, folder.string());
        const batch::FileWriting how = batch::sweepFileWriting(temporaryMark(token) + std::to_string(::getpid()));
        made = batch::makeSweepFile(task, held, folder.string(), how, stopRequested);
    } catch (const batch::Interrupted&) {
        return py::none();
    }
    return madeTuple(made);
}

// A sweep's folder held by this process (the client of a distributed sweep).
struct HeldFolder {
    std::unique_ptr<batch::HeldFolder> held;

    const batch::HeldFolder& get() const {
        if (!held) throw std::runtime_error("the sweep's folder was let go");
        return *held;
    }
};

// The manifest of the files made (what makeSweepFile returned), in index
// order, in the held folder.
void writeManifest(const batch::SweepPlan& plan, const HeldFolder& folder, const std::vector<py::tuple>& made) {
    std::vector<batch::SweepFileMade> files;
    for (const py::tuple& one : made) files.push_back(madeFrom(one));
    py::gil_scoped_release release;
    batch::ManifestWriter manifest(folder.get().folder(), plan.request.folder.string(), batch::audioFolderOf(plan));
    for (batch::SweepFileMade& file : files) manifest.add(file.index, std::move(file.lines));
    manifest.finish();
}

// The clipping summary line of the files made, or None.
std::optional<std::string> clippingWarning(const batch::SweepPlan& plan, const std::vector<py::tuple>& made) {
    batch::ClippingSummary summary;
    for (const py::tuple& one : made) {
        const batch::SweepFileMade file = madeFrom(one);
        summary.add(file.index, file.name, file.clippedSamples, file.samples);
    }
    return summary.warning(plan.request.base.level.automatic);
}

// The whole sweep in this process, by vantel-gen's own workers. Ctrl-C is
// looked for while they run and stops them as it stops the command.
py::dict runSweepLocal(const batch::SweepPlan& plan, unsigned jobs, bool progress) {
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
                const batch::HeldFolder folder(plan);
                outcome = batch::runSweep(plan, folder, batch::SweepControls{jobs, progress}, interrupted);
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
    out["clipping_warning"] = outcome.clipping.warning(plan.request.base.level.automatic);
    return out;
}

using TextList = std::vector<std::optional<std::string>>;

// A request as plain values, to be sent to another process; the texts as
// bytes, exactly as typed.
py::tuple requestState(const batch::FileRequest& r) {
    py::list typed, band;
    for (const batch::TypedOption& option : batch::kTypedOptions) {
        typed.append(r.typed[option.id] ? py::object(py::bytes(*r.typed[option.id])) : py::object(py::none()));
    }
    for (const batch::BandOption& option : batch::kBandOptions) {
        band.append(r.band[option.id] ? py::object(py::bytes(*r.band[option.id])) : py::object(py::none()));
    }
    const batch::PracticeRequest& p = r.practice;
    auto bytesOr = [](const std::optional<std::string>& t) { return t ? py::object(py::bytes(*t)) : py::object(py::none()); };
    py::list listWords;
    for (const std::string& word : p.listWords) listWords.append(py::bytes(word));
    const py::tuple practice = py::make_tuple(bytesOr(p.textFile), bytesOr(p.fileText), bytesOr(p.koch),
                                              bytesOr(p.kochOrder), bytesOr(p.groups), bytesOr(p.groupLength),
                                              bytesOr(p.calls), p.qso, p.contest, bytesOr(p.wordList), listWords,
                                              bytesOr(p.words), p.paragraphBt);
    return py::make_tuple(static_cast<int>(r.mode), typed, r.filterOn, band, r.extended, r.seed, r.level.automatic,
                          r.level.targetRmsDbfs, practice);
}

batch::PracticeRequest practiceFromState(const py::tuple& s) {
    if (s.size() != 13) throw std::runtime_error("not a vantel file request");
    using Text = std::optional<std::string>;
    batch::PracticeRequest p;
    p.textFile = s[0].cast<Text>();
    p.fileText = s[1].cast<Text>();
    p.koch = s[2].cast<Text>();
    p.kochOrder = s[3].cast<Text>();
    p.groups = s[4].cast<Text>();
    p.groupLength = s[5].cast<Text>();
    p.calls = s[6].cast<Text>();
    p.qso = s[7].cast<bool>();
    p.contest = s[8].cast<bool>();
    p.wordList = s[9].cast<Text>();
    p.listWords = s[10].cast<std::vector<std::string>>();
    p.words = s[11].cast<Text>();
    p.paragraphBt = s[12].cast<bool>();
    return p;
}

batch::FileRequest requestFromState(const py::tuple& state) {
    if (state.size() != 9) throw std::runtime_error("not a vantel file request");
    batch::FileRequest r;
    r.mode = static_cast<settings::Mode>(state[0].cast<int>());
    const auto typed = state[1].cast<TextList>();
    const auto band = state[3].cast<TextList>();
    if (typed.size() != batch::kTypedCount || band.size() != batch::kBandCount) {
        throw std::runtime_error("not a vantel file request");
    }
    for (const batch::TypedOption& option : batch::kTypedOptions) r.typed[option.id] = typed[static_cast<std::size_t>(option.id)];
    for (const batch::BandOption& option : batch::kBandOptions) r.band[option.id] = band[static_cast<std::size_t>(option.id)];
    r.filterOn = state[2].cast<bool>();
    r.extended = state[4].cast<bool>();
    r.seed = state[5].cast<std::optional<std::uint64_t>>();
    r.level.automatic = state[6].cast<bool>();
    r.level.targetRmsDbfs = state[7].cast<std::optional<double>>();
    r.practice = practiceFromState(state[8].cast<py::tuple>());
    return r;
}

}  // namespace

PYBIND11_MODULE(_vantel, m) {
    m.doc() = "Vantel's engine and its batch layer (use the vantel package, not this module)";

    // vantel-gen's one-line messages, word for word.
    py::register_exception_translator([](std::exception_ptr e) {
        try {
            if (e) std::rethrow_exception(e);
        } catch (const batch::UsageError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        } catch (const text::SettingError& error) {
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
    m.attr("OPTION_NAMES") = batch::requestOptionNames();
    std::vector<std::string_view> axes{"--snr", "--wpm", "--tone"};
    for (const batch::BandOption& option : batch::kBandOptions) axes.push_back(option.name);
    m.attr("SWEEP_AXES") = axes;

    py::class_<batch::FileRequest>(m, "FileRequest", "what one file holds, as vantel-gen's options would give it")
        .def(py::init(&fileRequest), py::arg("options"),
             "from keywords (option names without dashes, - as _) and their texts, True for a flag")
        .def_property_readonly("automatic_level", [](const batch::FileRequest& r) { return r.level.automatic; })
        .def_property_readonly("seed", [](const batch::FileRequest& r) { return r.seed; })
        .def("__eq__", [](const batch::FileRequest& a, const batch::FileRequest& b) { return a == b; })
        .def(py::pickle(&requestState, &requestFromState));

    py::class_<batch::SweepRequest>(m, "SweepRequest", "a decoder test set: a file request and its axes")
        .def(py::init(&sweepRequest), py::arg("folder"), py::arg("options"), py::arg("axes"),
             py::arg("messages") = py::none());

    py::class_<batch::CommandLine>(m, "CommandLine", "vantel-gen's command line, as read")
        .def_readonly("output", &batch::CommandLine::output)
        .def_readonly("sweep", &batch::CommandLine::sweep)
        .def_readonly("help", &batch::CommandLine::help)
        .def_readonly("version", &batch::CommandLine::version)
        .def_readonly("strict", &batch::CommandLine::strict)
        .def_readonly("quiet", &batch::CommandLine::quiet)
        .def_readonly("quiet_warnings", &batch::CommandLine::quietWarnings)
        .def_readonly("jobs", &batch::CommandLine::jobs)
        .def_readonly("request", &batch::CommandLine::request)
        .def("sweep_request", &batch::sweepRequest);
    m.def("parse_command_line", &batch::parseCommandLine, py::arg("args"),
          "vantel-gen's command line; ValueError with its message when it cannot be used");
    m.def("usage", &batch::usageText);
    m.attr("OPTION_HELP") = [] {
        py::list options;
        for (const batch::OptionHelp& o : batch::optionHelp()) options.append(py::make_tuple(o.name, o.value, o.help));
        return options;
    }();

    m.def("loose_text_warnings", py::overload_cast<const batch::FileRequest&>(&batch::looseTextWarnings));
    m.def("render_clip", &renderClip, py::arg("request"), py::arg("index") = 0, py::arg("file_name"));
    m.def("save_wav", &saveWav, py::arg("path"), py::arg("rate"), py::arg("samples"), py::arg("format") = py::none(),
          py::arg("quality") = py::none(), py::arg("title") = "", py::arg("artist") = "", py::arg("album") = "");
    m.def(
        "wav_header",
        [](std::int32_t rate, std::int64_t samples) {
            if (samples < 0 || samples > wav::kMaxSamples) throw py::value_error("no WAV file holds that many samples");
            const auto bytes = wav::header(rate, samples);
            return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        },
        py::arg("rate"), py::arg("samples"),
        "the 44-byte header of the 16-bit mono WAV file holding that many samples: followed by the samples in "
        "little-endian order, it is the file save_wav writes");
    m.def("expand_values", &batch::expandValues, py::arg("option"), py::arg("text"),
          "a sweep value (20, 0,3,6, -20:10:2, 0:6:2,10) as the texts it gives");
    m.def("file_seed", &batch::fileSeed, py::arg("seed"), py::arg("index"));
    m.def("csv_header", [] { return py::bytes(batch::csvHeader()); });

    py::class_<batch::ProgressLine>(m, "ProgressLine",
                                    "vantel-gen's progress line on standard error (the process's, descriptor 2)")
        .def(py::init([](std::size_t total, bool enabled) { return new batch::ProgressLine(std::cerr, total, enabled); }),
             py::arg("total"), py::arg("enabled"))
        .def("show", &batch::ProgressLine::show, py::arg("done"), "redraws it, at most a few times a second")
        .def("end", &batch::ProgressLine::end, py::arg("done"), "its last state, then a new line");

    py::class_<batch::SweepTask>(m, "SweepTask", "one file of a sweep, with all it takes to make it anywhere")
        .def_readonly("index", &batch::SweepTask::index)
        .def_readonly("name", &batch::SweepTask::name)
        .def_readonly("request", &batch::SweepTask::request)
        .def(py::pickle(
            [](const batch::SweepTask& t) { return py::make_tuple(t.index, py::bytes(t.name), requestState(t.request)); },
            [](const py::tuple& s) {
                if (s.size() != 3) throw std::runtime_error("not a vantel sweep task");
                return batch::SweepTask{s[0].cast<std::size_t>(), s[1].cast<std::string>(),
                                        requestFromState(s[2].cast<py::tuple>())};
            }));

    py::class_<batch::SweepPlan>(m, "SweepPlan")
        .def_property_readonly("names", [](const batch::SweepPlan& p) { return p.names; })
        .def_property_readonly("folder", [](const batch::SweepPlan& p) { return p.request.folder.string(); })
        .def_property_readonly("automatic_level",
                               [](const batch::SweepPlan& p) { return p.request.base.level.automatic; })
        .def("__len__", [](const batch::SweepPlan& p) { return p.names.size(); })
        .def("task", &batch::sweepTask, py::arg("index"))
        .def("loose_text_warnings", [](const batch::SweepPlan& p) { return batch::looseTextWarnings(p.request); })
        .def("hold_folder",
             [](const batch::SweepPlan& p) {
                 HeldFolder folder;
                 folder.held = std::make_unique<batch::HeldFolder>(p);
                 return folder;
             },
             "makes the sweep's folder and holds it for this sweep alone until released; ValueError when "
             "another sweep holds it or it holds files of this sweep")
        .def("write_manifest", &writeManifest, py::arg("folder"), py::arg("made"))
        .def("file_row",
             [](const batch::SweepPlan& p, std::size_t index) {
                 batch::SweepFileMade made;
                 {
                     py::gil_scoped_release release;
                     made = batch::sweepFileRow(batch::sweepTask(p, index), p.request.folder.string());
                 }
                 return madeTuple(made);
             },
             py::arg("index"))
        .def("clipping_warning", &clippingWarning, py::arg("made"))
        .def("run_local", &runSweepLocal, py::arg("jobs"), py::arg("progress"));
    m.def("plan_sweep", &batch::planSweep, py::arg("request"));
    m.def("read_messages", &batch::readMessages, py::arg("path"),
          "a messages file's messages, one per line, checked as vantel-gen checks them");
    m.def("make_sweep_file", &makeSweepFile, py::arg("task"), py::arg("folder"), py::arg("token"),
          py::arg("stop") = py::none());

    py::class_<HeldFolder>(m, "HeldFolder")
        .def("release", [](HeldFolder& f) { f.held.reset(); })
        .def("remove_temporaries",
             [](const HeldFolder& f, const std::string& token) { return f.get().removeTemporaries(temporaryMark(token)); },
             py::arg("token"), "removes the temporaries of this sweep's files that dead workers left; the names left");
}
