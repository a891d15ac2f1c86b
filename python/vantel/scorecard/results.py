"""The scorecard's tables, thresholds, plot and report.

Rows are per decoder, band condition, S/N point and cell (speed and kind of
text); rows with text_kind "all" sum a speed's kinds of text, and rows with
wpm and text_kind "all" a condition's cells. The thresholds are read off
both: per condition, and per condition and speed. Intervals are 95 % Wilson score
intervals with each character sent as one trial.
"""

import csv
import io
import json
import math
import os
import threading
from collections import defaultdict

from .scoring import Score, wilson

ROW_COLUMNS = ("decoder", "condition", "snr_label_db", "snr_2500_db", "wpm", "text_kind", "files", "chars", "cer",
               "cer_low", "cer_high", "wer", "substitutions", "insertions", "deletions", "failed_files")
THRESHOLD_COLUMNS = ("decoder", "condition", "wpm", "cer_5pct_snr_2500_db", "cer_5pct_low", "cer_5pct_high",
                     "cer_50pct_snr_2500_db", "cer_50pct_low", "cer_50pct_high", "cer_5pct_snr_label_db",
                     "cer_50pct_snr_label_db")
FILE_COLUMNS = ("decoder", "file", "condition", "snr_label_db", "snr_2500_db", "wpm", "text_kind", "tone_hz", "sent",
                "copied", "chars", "errors", "failure")
LEVELS = (0.05, 0.5)


def _row(decoder, condition, snr_label, snr_2500, wpm, kind, files, score, failed):
    low, high = wilson(score.errors, score.chars)
    return dict(decoder=decoder, condition=condition, snr_label_db=snr_label, snr_2500_db=snr_2500, wpm=wpm,
                text_kind=kind, files=files, chars=score.chars, cer=score.cer, cer_low=low,
                cer_high=max(high, score.cer) if score.chars else high, wer=score.wer,
                substitutions=score.substitutions, insertions=score.insertions, deletions=score.deletions,
                failed_files=failed)


def tabulate(suite_files, runs, decoder_names):
    """The rows for the FileRuns `runs` of the suite's files."""
    by_index = {f.index: f for f in suite_files}
    cells = defaultdict(lambda: [Score(), 0, 0])
    for run in runs:
        f = by_index[run.index]
        for decoder in decoder_names:
            outcome, score = run.outcomes[decoder]
            for wpm, kind in ((f.wpm, f.text_kind), (f.wpm, "all"), ("all", "all")):
                cell = cells[(decoder, f.condition, f.snr_label_db, f.snr_2500_db, wpm, kind)]
                cell[0] += score
                cell[1] += 1
                cell[2] += outcome.failure is not None
    order = {name: n for n, name in enumerate(decoder_names)}
    keys = sorted(cells, key=lambda k: (order[k[0]], k[1], k[4] != "all", str(k[4]), k[5], k[2]))
    return [_row(*key, cells[key][1], cells[key][0], cells[key][2]) for key in keys]


def _crossing(points, level):
    """The S/N (interpolated) above which the curve stays at or under
    `level`: None when the whole range is above it or under it."""
    above = [n for n, (_, value) in enumerate(points) if value > level]
    if not above or above[-1] == len(points) - 1:
        return None
    (x0, y0), (x1, y1) = points[above[-1]], points[above[-1] + 1]
    return x0 + (y0 - level) / (y0 - y1) * (x1 - x0)


def thresholds(rows, decoder_names):
    """Per decoder and condition: the S/N in 2500 Hz (and in the label) at
    which the CER crosses 5 % and 50 %, with the crossings of the interval's
    bounds as the threshold's interval."""
    curves = defaultdict(list)
    for row in rows:
        if row["text_kind"] == "all" and row["chars"]:
            curves[(row["decoder"], row["condition"], row["wpm"])].append(row)
    table = []
    for (decoder, condition, wpm), points in curves.items():
        points.sort(key=lambda r: r["snr_2500_db"])
        entry = dict(decoder=decoder, condition=condition, wpm=wpm)
        offset = points[0]["snr_label_db"] - points[0]["snr_2500_db"]
        for level, tag in zip(LEVELS, ("5pct", "50pct")):
            curve = lambda column: [(r["snr_2500_db"], r[column]) for r in points]
            middle = _crossing(curve("cer"), level)
            entry[f"cer_{tag}_beyond"] = None
            if middle is None:  # which end of the range it lies beyond
                entry[f"cer_{tag}_beyond"] = ("above" if points[-1]["cer"] > level else "below",
                                              points[-1 if points[-1]["cer"] > level else 0]["snr_2500_db"])
            # A higher CER bound crosses later: it bounds the threshold from above.
            entry[f"cer_{tag}_snr_2500_db"] = middle
            entry[f"cer_{tag}_low"] = _crossing(curve("cer_low"), level)
            entry[f"cer_{tag}_high"] = _crossing(curve("cer_high"), level)
            entry[f"cer_{tag}_snr_label_db"] = None if middle is None else middle + offset
        table.append(entry)
    order = {name: n for n, name in enumerate(decoder_names)}
    table.sort(key=lambda e: (order[e["decoder"]], e["condition"], e["wpm"] != "all", str(e["wpm"])))
    return table


def file_rows(suite_files, runs, decoder_names):
    by_index = {f.index: f for f in suite_files}
    rows = []
    for run in sorted(runs, key=lambda r: r.index):
        f = by_index[run.index]
        for decoder in decoder_names:
            outcome, score = run.outcomes[decoder]
            rows.append(dict(decoder=decoder, file=f.name, condition=f.condition, snr_label_db=f.snr_label_db,
                             snr_2500_db=f.snr_2500_db, wpm=f.wpm, text_kind=f.text_kind, tone_hz=f.tone_hz,
                             sent=run.reference, copied=outcome.text, chars=score.chars, errors=score.errors,
                             failure=outcome.failure or ""))
    return rows


def _cell(value):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return ""
    if isinstance(value, float):
        return f"{value:.6g}"
    return value


def _csv(rows, columns):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(columns)
    for row in rows:
        writer.writerow([_cell(row[c]) for c in columns])
    return out.getvalue()


def _json_value(value):
    return None if isinstance(value, float) and math.isnan(value) else value


def write_whole(path, text):
    """Complete or not at all: a temporary beside `path`, then a rename."""
    partial = f"{path}.partial-{os.getpid()}-{threading.get_ident()}"  # threads write beside each other
    with open(partial, "w", encoding="utf-8", newline="") as file:
        file.write(text)
    os.replace(partial, path)


def _fmt(value):
    return "-" if value is None else f"{value:+.1f}"


def threshold_text(entry, tag):
    """The threshold as a reader wants it: "+1.9", "> +20.0" or "< -20.0"."""
    value = entry[f"cer_{tag}_snr_2500_db"]
    if value is not None:
        return f"{value:+.1f}"
    side, end = entry[f"cer_{tag}_beyond"]
    return f"{'>' if side == 'above' else '<'} {end:+.1f}"


def report_markdown(summary, table):
    lines = [f"# Scorecard: {summary['suite']}{' (quick)' if summary['quick'] else ''}", "",
             f"{summary['files_scored']} of {summary['files_total']} files scored"
             + (" (stopped before the end)" if summary["interrupted"] or summary["error"] else "")
             + f", vantel {summary['vantel']}." + (f" The run stopped: {summary['error']}." if summary["error"] else ""),
             "S/N is the one-sided S/N in 2500 Hz; the CER counts characters, not word spaces.", ""]
    if summary["clipped_files"]:
        lines += [f"{summary['clipped_files']} files had clipped samples: their noise is not quite what the S/N "
                  "label promises.", ""]
    lines += ["| decoder | condition | WPM | CER 5 % at (dB) | 95 % interval | CER 50 % at (dB) | 95 % interval "
              "| failed files |", "|---|---|---|---|---|---|---|---|"]
    for e in table:
        lines.append(f"| {e['decoder']} | {e['condition']} | {_cell(e['wpm'])} | {threshold_text(e, '5pct')} | "
                     f"{_fmt(e['cer_5pct_low'])} to {_fmt(e['cer_5pct_high'])} | {threshold_text(e, '50pct')} | "
                     f"{_fmt(e['cer_50pct_low'])} to {_fmt(e['cer_50pct_high'])} | "
                     f"{summary['failed_files'].get(e['decoder'], 0)} |")
    lines += ["", "\"> +20.0\": the CER stays above that level up to the suite's highest S/N; \"< -20.0\": it is "
              "already below it at the lowest. An interval's dash: its bound does not cross within the range.", ""]
    if summary.get("plot"):
        lines += [f"![CER against S/N]({summary['plot']}.svg)", ""]
    elif summary.get("plot_missing"):
        lines += [f"No plot: {summary['plot_missing']}.", ""]
    for name, command in summary["decoders"].items():
        lines.append(f"- `{name}`: `{command}`")
    return "\n".join(lines) + "\n"


def plot(rows, decoder_names, base):
    """cer.png and cer.svg: CER against S/N, a panel per condition and a
    curve per decoder. The reason when there is no matplotlib."""
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return "matplotlib is not installed (Debian: python3-matplotlib)"
    conditions = sorted({r["condition"] for r in rows if r["wpm"] == "all"})
    if not conditions:
        return "no file was scored"
    columns = min(4, len(conditions))
    lines = math.ceil(len(conditions) / columns)
    figure, axes = plt.subplots(lines, columns, figsize=(4.2 * columns + 1, 3.4 * lines), squeeze=False,
                                sharey=True)
    for axis, condition in zip(axes.flat, conditions):
        for decoder in decoder_names:
            points = sorted((r["snr_2500_db"], r["cer"], r["cer_low"], r["cer_high"]) for r in rows
                            if r["wpm"] == "all" and r["condition"] == condition and r["decoder"] == decoder)
            if points:
                x, y, low, high = zip(*points)
                axis.plot(x, [min(v, 1.05) for v in y], marker=".", label=decoder)
                axis.fill_between(x, low, [min(v, 1.05) for v in high], alpha=0.2)
        axis.axhline(0.05, color="grey", linewidth=0.6, linestyle=":")
        axis.axhline(0.5, color="grey", linewidth=0.6, linestyle=":")
        axis.set_title(condition)
        axis.set_xlabel("S/N in 2500 Hz (dB, one-sided)")
        axis.set_ylim(0, 1.05)
        axis.grid(alpha=0.3)
    for axis in axes.flat[len(conditions):]:
        axis.set_visible(False)
    for axis in axes[:, 0]:
        axis.set_ylabel("character error rate")
    axes.flat[0].legend()
    figure.tight_layout()
    for ext in ("png", "svg"):
        partial = f"{base}.partial-{os.getpid()}.{ext}"
        figure.savefig(partial, dpi=110)
        os.replace(partial, f"{base}.{ext}")
    plt.close(figure)
    return None


def write_all(folder, summary, rows, table, files):
    """Every result file in `folder`, each complete."""
    problem = plot(rows, list(summary["decoders"]), os.path.join(folder, "cer"))
    summary = dict(summary, plot=None if problem else "cer", plot_missing=problem)
    write_whole(os.path.join(folder, "results.csv"), _csv(rows, ROW_COLUMNS))
    write_whole(os.path.join(folder, "thresholds.csv"), _csv(table, THRESHOLD_COLUMNS))
    write_whole(os.path.join(folder, "files.csv"), _csv(files, FILE_COLUMNS))
    document = dict(summary, rows=[{k: _json_value(v) for k, v in r.items()} for r in rows], thresholds=table)
    write_whole(os.path.join(folder, "results.json"), json.dumps(document, indent=1) + "\n")
    write_whole(os.path.join(folder, "report.md"), report_markdown(summary, table))
