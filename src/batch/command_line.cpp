#include "batch/command_line.h"

#include <algorithm>
#include <charconv>
#include <regex>

#include "batch/practice.h"
#include "batch/sweep.h"

namespace vantel::batch {
namespace {

unsigned parseJobs(const std::string& text) {
    constexpr unsigned kMostJobs = 1024;
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || jobs == 0 ||
        jobs > kMostJobs) {
        throw UsageError("bad job count '" + text + "': use a whole number from 1 to " + std::to_string(kMostJobs));
    }
    return jobs;
}

// Flags of the command itself; false when `name` is not one.
bool setCommandFlag(CommandLine& line, const std::string& name) {
    if (name == "--help" || name == "-h") {
        line.help = true;
    } else if (name == "--version") {
        line.version = true;
    } else if (name == "--sweep") {
        line.sweep = true;
    } else if (name == "-q" || name == "--quiet") {
        line.quiet = true;
    } else if (name == "--strict") {
        line.strict = true;
    } else if (name == "--quiet-warnings") {
        line.quietWarnings = true;
    } else if (name == kAudioFolderFlag) {
        line.audioFolder = true;
    } else if (name == "--play") {
        line.play = true;
    } else {
        return false;
    }
    return true;
}

// Options of the command itself that take a value; false when `name` is not one.
bool setCommandOption(CommandLine& line, const std::string& name, const std::string& value) {
    if (name == "-o" || name == "--output") {
        line.output = value;
        line.outputGiven = true;
    } else if (name == "--messages") {
        line.messagesFile = value;
    } else if (name == "-j" || name == "--jobs") {
        line.jobs = parseJobs(value);
    } else if (name == "--format") {
        line.format = value;
    } else if (name == "--quality") {
        line.quality = value;
    } else if (name == "--title") {
        line.title = value;
    } else if (name == "--artist") {
        line.artist = value;
    } else if (name == "--album") {
        line.album = value;
    } else if (name == "--split") {
        line.split = value;
    } else {
        return false;
    }
    return true;
}

bool takesValue(const std::string& name) {
    return name == "-o" || name == "--output" || name == "--messages" || name == "-j" || name == "--jobs" ||
           name == "--format" || name == "--quality" || name == "--title" || name == "--artist" ||
           name == "--album" || name == "--split" || isRequestOption(name);
}

void checkOutputOptions(const CommandLine& line) {
    if (line.split) {
        if (line.sweep) throw UsageError("--split makes numbered files of one text; a sweep makes its own");
        if (!line.request.practice.makesMessage()) {
            throw UsageError("--split cuts a practice text: give --text-file, --koch, --calls, --qso, --contest "
                             "or --word-list");
        }
        if (line.request.band[Band::Duration]) throw UsageError("--split goes without --duration");
        if (line.toStandardOutput()) throw UsageError("--split writes numbered files, not standard output: -o FILE");
    }
    if (line.play && line.sweep) throw UsageError("--play goes with a single file, not a sweep");
    if (line.play && line.toStandardOutput()) throw UsageError("--play goes with a file, not standard output");
}

void checkSweepOptions(const CommandLine& line) {
    if (!line.sweep) {
        if (line.messagesFile || line.jobs || line.quiet || line.audioFolder) {
            throw UsageError("--messages, -j, -q and --audiofolder go with --sweep");
        }
        return;
    }
    if (!line.outputGiven) throw UsageError("--sweep needs an output folder: -o DIR");
    if (line.toStandardOutput()) throw UsageError("a sweep writes a folder of files, not standard output: -o DIR");
    if (line.messagesFile && line.request.typed[Typed::Message]) {
        throw UsageError("give either --message or --messages, not both");
    }
}

// The usage text's option lines start here; what an option's line wraps
// continues under its help's column.
constexpr std::string_view kOptionIndent = "  -";
constexpr std::size_t kHelpColumn = 23;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

bool continues(const std::string& line) {
    return line.size() > kHelpColumn && line.find_first_not_of(' ') == kHelpColumn;
}

// "  -o, --output FILE    output file ...": a short name perhaps, the long
// name, the value's name perhaps, then the help after two blanks or more (or
// on the lines below).
const std::regex kOptionLine(R"(  (?:-\w, )?(--[a-z-]+)(?: ([A-Z_]+))?(?:  +(.*))?)");

}  // namespace

std::vector<OptionHelp> optionHelp() {
    std::vector<OptionHelp> options;
    const std::vector<std::string> lines = linesOf(usageText());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, kOptionLine)) continue;
        OptionHelp option{m[1], m[2], m[3]};
        for (; i + 1 < lines.size() && continues(lines[i + 1]); ++i) {
            if (!option.help.empty()) option.help += ' ';
            option.help += lines[i + 1].substr(kHelpColumn);
        }
        const bool listed = std::any_of(options.begin(), options.end(),
                                        [&](const OptionHelp& o) { return o.name == option.name; });
        if (!listed) options.push_back(std::move(option));
    }
    return options;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (setCommandFlag(line, name) || isRequestFlag(name)) {
            if (value) throw UsageError(name + " takes no value");
            if (isRequestFlag(name)) setRequestFlag(line.request, name);
            continue;
        }
        if (!takesValue(name)) throw UsageError("unknown option '" + args[i] + "' (see --help)");
        if (!value) {
            if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
            value = args[++i];
        }
        if (!setCommandOption(line, name, *value)) setRequestOption(line.request, name, *value);
    }
    if (line.output.empty()) throw UsageError("the output file name is empty");
    checkLevelPolicy(line.request);
    checkSweepOptions(line);
    checkOutputOptions(line);
    checkCompanions(line.request);
    checkPractice(line.request);
    // A sweep's values are lists, read once they are expanded.
    if (!line.sweep) bandConditions(line.request);
    return line;
}

SweepRequest sweepRequest(const CommandLine& line) {
    std::optional<std::vector<std::string>> messages;
    if (line.messagesFile) messages = readMessages(*line.messagesFile);
    SweepRequest sweep = sweepFromTexts(line.request, messages, line.output);
    sweep.audioFolder = line.audioFolder;
    return sweep;
}

std::string usageText() {
    return R"(Usage: vantel-gen [options]
Writes a 16-bit mono WAV file of Morse code (or a tone) in calibrated white
noise, exactly as the Vantel window's Generate command does on its first run,
and prints the level report. Every value is read like the text typed into the
window's box ("12k" reads as 12, letters as 0); a text not read whole as a
number gets a warning on standard error saying how it was read. Clipped
samples always get a warning, with the --level that would have avoided them.

  -o, --output FILE    output file (default CWTemp.wav); - writes the WAV to
                       standard output (the report then goes to standard
                       error); .flac, .ogg, .opus and .mp3 choose the format
  --format FORMAT      wav, flac, ogg (Vorbis), opus or mp3 (default: from
                       the output's extension, else wav)
  --quality Q          lossy formats' quality, 0 (smallest) to 10 (best)
  --title TEXT         the file's title tag (with --artist TEXT and
                       --album TEXT); not for wav
  --artist TEXT        the file's artist tag
  --album TEXT         the file's album tag
  --play               also play it through the desktop's sound service
                       while it is made (alone: play only, write nothing)
  --mode MODE          onoff, fsk or tone (default onoff)
  --message TEXT       Morse message (default TESTING)
  --wpm TEXT           speed in words per minute (default 20)
  --tone-length TEXT   tone length in seconds, tone mode (default 5)
  --tone TEXT          tone frequency in Hz (default 800)
  --space-tone TEXT    FSK space tone in Hz (default 600)
  --rate TEXT          sample rate in Hz (default 12000)
  --snr TEXT           signal to noise ratio in dB (default 20)
  --bw TEXT            reference bandwidth of the S/N in Hz (default 300)
  --level TEXT         output scaling in dB (default 0), or auto: chosen from
                       the settings before the run so that the file's RMS
                       is at -20 dBFS, then used as if typed
  --auto-rms DB        the file RMS --level auto aims at, -60 to -3 dBFS
  --filter-cf TEXT     output filter centre in Hz (default 1800)
  --filter-bw TEXT     output filter bandwidth in Hz (default 3000)
  --no-filter          no output filter
  --seed N             noise seed (default: the window's start-up seed)
  --strict             exit with status 3 when samples were clipped (the
                       file stays)
  --quiet-warnings     no warnings about texts read loosely ("48k" as 48)
  -h, --help           this text
  --version            print the program's name and version

Band conditions (each off unless given; values are read strictly, the
whole text a number in range):
  --rise MS            raised-cosine key edges, 0 to 1000 ms (onoff mode)
  --farnsworth WPM     Farnsworth spacing: characters at --wpm, gaps for this
                       overall speed (1 up to below --wpm)
  --word-space FACTOR  word gaps stretched by 1 to 10
  --extended           the extended punctuation and prosigns such as <AR>
  --jitter PERCENT     every mark and gap's length varied, 0 to 50 %
  --dash-ratio R       dash length in dots, 2 to 5 (default 3)
  --weight PERCENT     key-down share of a dot and its gap, 10 to 90 (50)
  --speed-drift PERCENT
                       a slow random walk of the speed, 0 to 50 %
  --channel PRESET     Watterson fading: good, moderate, poor or flutter (or
                       an ITU-R F.1487 condition, see --fading-paths)
  --fading-spread HZ   fading with this Doppler spread, 0.01 to 50 Hz
  --fading-delay MS    fading with this second-path delay, 0 to 10 ms (with
                       --channel these two replace the preset's values)
  --qsb-depth DB       slow sinusoidal fade between 0 and -DB, up to 60 dB
  --qsb-period S       its period, 0.5 to 3600 s (default 10)
  --qrm N              N other CW stations nearby, 0 to 20
  --qrm-spread HZ      within +-HZ of the tone, 0 to 5000 (default 400)
  --qrm-level DB       their level against the wanted signal's, +-6 dB each
                       (-60 to 30, default 0)
  --qrn RATE           static crashes per second, 0 to 100
  --qrn-level DB       their median peak above the noise, -20 to 60 (20)
  --chirp HZ           the tone pulled this high at each key-down, 0 to 500
  --drift HZ_PER_MIN   the tone moving linearly, -1000 to 1000 Hz a minute
  --qrm-traffic MODE   how the --qrm stations behave: continuous (calling
                       over and over, the default), qso (pairs taking turns
                       in QSOs), contest (a runner and its callers) or
                       pileup (callers answering a CQ at once); except
                       continuous, each with its own fist, chirp, drift and
                       fading
  --qrm-time-spread S  a pile-up's callers start within S, 0 to 10 (1)
  --qrn-model MODEL    bursts (smooth crashes, the default) or class-a
                       (Middleton Class A static over the noise, and --qrn
                       trains of lightning strokes per second)
  --qrn-index A        Class A's impulsive index, 0.001 to 10 (0.1)
  --qrn-gamma GAMMA    Class A's Gaussian to impulsive power, 0.0001 to 10
                       (0.1)
  --qsb-random DB      random log-normal fading of this standard deviation,
                       0 to 30 dB
  --qsb-time S         its correlation time, 0.1 to 3600 s (default 10)
  --fading-paths PATHS
                       fading path by path, up to 4:
                       DELAY_MS:SPREAD_HZ[:POWER_DB[:SHIFT_HZ]] joined by
                       '/' (0:0.5/1:0.5:-3:2); --channel also takes the
                       ITU-R F.1487 presets itu-low-quiet ... itu-high-disturbed
  --receiver           a receiver: an IF filter on the tone and an AGC, the
                       noise shaped by the filter (the S/N label stays at
                       the antenna; the manifest adds the S/N at the output)
  --if-shape SHAPE     gaussian, butterworth (default) or crystal
  --if-bw HZ           its -6 dB width, 50 to 6000 Hz (500)
  --agc SPEED          off, slow (default) or fast
  --hum HZ             mains hum and buzz at HZ (50 or 60), 0 to 400
  --hum-level DB       against the wanted signal's level, -80 to 20 (-30)
The message's place in the file (Morse modes; off unless given):
  --lead-in S          silence before the first character, 0 to 3600 s
  --tail S             silence after the message, 0 to 3600 s
  --duration S         a file exactly this long, up to 3600 s: the characters
                       that fit whole, then silence to its end
  --crop-from SHARE    start at the character this share (0 to 1) into the
                       message
Practice texts (instead of --message; the same --seed, the same text):
  --text-file FILE     send this UTF-8 text file (- for standard input): line
                       and paragraph breaks are word gaps
  --paragraph-bt       send each paragraph break as <BT> (with --extended)
  --koch LESSON        random groups of Koch lesson LESSON: the order's first
                       LESSON + 1 characters, the newest twice as often
  --koch-order ORDER   standard (K M U R E S N A P T L W I . J Z = F O Y ,
                       V G 5 / Q 9 2 H 3 8 B ? 4 7 C 1 D 6 0 X), or the
                       characters in order, in capitals
  --groups N           the number of groups (default 20)
  --group-length L     characters in a group, 1 to 20 (default 5)
  --calls N            N random call signs
  --qso                random QSOs: RST, name, QTH, rig, weather, 73
  --contest            random contest exchanges: RST and serial or zone
  --word-list FILE     random words from this file (blank-separated)
  --words N            at most N words of the text
  --split LENGTH       numbered files (FILE-01.mp3 ...) of at most LENGTH
                       (as --duration: 300, 5m), or split at lines starting
                       with CHAPTER: --split chapters
With a practice text, --duration cuts the text at a word boundary to fit
(then fills the file with silence to its end), and --duration, --lead-in and
--tail take minutes and hours too (5m, 1h). Characters without a code are
sent transliterated (ß as SS, Cyrillic in Latin letters) or dropped, and
every change is named in a warning and in the manifest.
The S/N label stays the wanted signal's key-down power (after its edges and
fading) against the background noise; with QRM or QRN a further line gives
their power as measured.

It also prints the S/N measured from the generated tone and noise: the
key-down tone power over the noise power counted one-sided in the reference
bandwidth, and the same in 2500 Hz. The S/N asked for counts the noise over a
two-sided spectrum, so the measured one-sided figure is about 3 dB lower.

Sweeps: vantel-gen --sweep -o DIR [options]
Writes one file for every combination of the values given into folder DIR,
named like the window's offered name (800HzSN20BW300Fil3000) followed by
WPM<speed> when several speeds are given and Msg<n> when several messages
are, with ".WAV"; and manifest.csv and manifest.jsonl describing each file.
  --snr, --wpm, --tone a value (20), a list (0,3,6), an inclusive range with
                       a step (-20:10:2), or a list of these (0:6:2,10);
                       so does every numeric band option, and --channel a
                       list of presets (good,poor), as the other named
                       settings do their names
  --messages FILE      one message per line (empty lines are skipped)
  --seed N             seeds every file's noise (file i gets output i+1 of
                       SplitMix64 started at N; the manifest lists them)
  -j, --jobs N         files made at once (default: the number of cores)
  -q, --quiet          no progress line on standard error
  --audiofolder        also metadata.csv, so that the folder loads as an
                       audio dataset (Hugging Face "audiofolder"): file_name,
                       text, labels ([["C",start,end],...]) and settings
)";
}

}  // namespace vantel::batch
