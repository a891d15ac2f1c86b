// vantel._sound: playback through the desktop's sound server, in an extension
// of its own so that `import vantel` never needs the PulseAudio client
// library (training machines often have none); only vantel-copy loads it.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

#include "sound/player.h"

namespace py = pybind11;
using namespace vantel;

namespace {

bool inMainThread() {
    const py::module_ threading = py::module_::import("threading");
    return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// Plays the samples through the desktop's sound server, the GIL released.
// In the main thread, Ctrl-C stops the sound at once and raises
// KeyboardInterrupt; a sound that cannot be played raises RuntimeError with
// the player's one line.
void play(const py::object& given, int rate) {
    const auto samples = py::array::ensure(given);
    if (!samples || !samples.dtype().is(py::dtype::of<std::int16_t>())) {
        const py::object kind = samples ? py::object(samples.dtype()) : py::object(py::type::of(given));
        throw py::type_error("play takes numpy int16 samples (as a clip's samples), not " +
                             py::str(kind).cast<std::string>());
    }
    if (samples.ndim() != 1) throw py::value_error("the samples must be one-dimensional");
    if (rate <= 0) throw py::value_error("the rate must be a positive number of samples per second");
    const auto contiguous = py::array_t<std::int16_t, py::array::c_style | py::array::forcecast>::ensure(samples);
    const std::span<const std::int16_t> view(contiguous.data(), static_cast<std::size_t>(contiguous.size()));
    bool interrupted = false;
    std::function<bool()> stop;
    if (inMainThread()) {
        stop = [&interrupted] {
            py::gil_scoped_acquire gil;
            interrupted = PyErr_CheckSignals() != 0;
            return interrupted;
        };
    }
    std::string outcome;
    {
        py::gil_scoped_release release;
        outcome = sound::playSamples(view, rate, stop);
    }
    if (interrupted) throw py::error_already_set();  // the KeyboardInterrupt PyErr_CheckSignals raised
    if (!outcome.empty()) throw std::runtime_error(outcome);
}

}  // namespace

PYBIND11_MODULE(_sound, m) {
    m.doc() = "playback through the desktop's sound server (PulseAudio or PipeWire)";
    m.def("play", &play, py::arg("samples"), py::arg("rate"),
          "plays 16-bit mono samples through the desktop's sound server and returns when they have been "
          "heard; Ctrl-C stops them; RuntimeError when they cannot be played");
}
