#!/usr/bin/env python3
"""Draws the pictures of docs/band-conditions.md from files vantel-gen makes.

    VANTEL_GEN=build/apps/vantel-gen/vantel-gen python3 docs/pictures/make_band_pictures.py

Writes qso.png, pileup.png and apd.png beside this script. The same seeds
give the same pictures.
"""
import math
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

HERE = os.path.dirname(os.path.abspath(__file__))
GEN = os.environ.get("VANTEL_GEN", "vantel-gen")
RATE = 8000


def make(folder, name, *options):
    path = os.path.join(folder, name)
    subprocess.run([GEN, "--rate", str(RATE), "--seed", "11", "--no-filter", "-o", path,
                    *options], check=True, stdout=subprocess.DEVNULL)
    with wave.open(path) as f:
        return np.frombuffer(f.readframes(f.getnframes()), dtype="<i2").astype(float)


def spectrogram(samples, title, path):
    fig, ax = plt.subplots(figsize=(10, 4))
    ax.specgram(samples, NFFT=512, Fs=RATE, noverlap=384, cmap="magma", vmin=-20)
    ax.set_ylim(200, 1400)
    ax.set_xlabel("time (s)")
    ax.set_ylabel("audio frequency (Hz)")
    ax.set_title(title)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)


def class_a_exceedance(level, a, gamma):
    """P(|x| > level) for Class A with unit Gaussian power, total power 1 + 1/gamma."""
    total = 0.0
    for m in range(60):
        weight = math.exp(-a) * a**m / math.factorial(m)
        variance = 1 + m / (a * gamma)
        total += weight * math.erfc(level / math.sqrt(2 * variance))
    return total


def apd(folder, path):
    a, gamma = 0.1, 0.1
    # A long file of static alone: one short character, then silence.
    samples = make(folder, "static.wav", "--message", "E", "--snr", "0", "--tail", "120", "--qrn", "0",
                   "--qrn-model", "class-a", "--qrn-index", str(a), "--qrn-gamma", str(gamma), "--level", "-45")
    samples = samples[RATE:]
    noise_rms = math.sqrt(np.mean(samples**2) / (1 + 1 / gamma))
    magnitudes = np.sort(np.abs(samples))[::-1] / noise_rms
    probability = np.arange(1, len(magnitudes) + 1) / len(magnitudes)
    rms_db = 10 * math.log10(1 + 1 / gamma)
    levels = np.linspace(-30, 45, 300)
    model = [class_a_exceedance(10 ** (level / 20), a, gamma) for level in levels]
    fig, ax = plt.subplots(figsize=(7, 5))
    ax.semilogx(probability * 100, 20 * np.log10(np.maximum(magnitudes, 1e-9)) - rms_db, label="measured")
    ax.semilogx(np.array(model) * 100, levels - rms_db, "--", label=f"Class A, A = {a}, Γ = {gamma}")
    gaussian = [math.erfc(10 ** (level / 20) / math.sqrt(2 * (1 + 1 / gamma))) for level in levels]
    ax.semilogx(np.array(gaussian) * 100, levels - rms_db, ":", label="Gaussian noise of the same power")
    ax.set_xlim(1e-4, 100)
    ax.set_ylim(-25, 30)
    ax.set_xlabel("per cent of samples exceeding the level")
    ax.set_ylabel("|sample| in dB above its RMS")
    ax.set_title("Amplitude probability distribution of the static")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)


def main():
    with tempfile.TemporaryDirectory() as folder:
        common = ["--level", "auto", "--message", "CQ CQ DE VANTEL VANTEL K", "--snr", "30", "--wpm", "22", "--duration", "60"]
        qso = make(folder, "qso.wav", *common, "--qrm", "6", "--qrm-traffic", "qso", "--qrm-spread", "500",
                   "--qrm-level", "-3")
        spectrogram(qso, "--qrm 6 --qrm-traffic qso: three QSOs taking turns beside the wanted signal at 800 Hz",
                    os.path.join(HERE, "qso.png"))
        pileup = make(folder, "pileup.wav", *common, "--qrm", "12", "--qrm-traffic", "pileup", "--qrm-spread",
                      "300", "--qrm-time-spread", "1.5")
        spectrogram(pileup, "--qrm 12 --qrm-traffic pileup: callers answering in rounds around 800 Hz",
                    os.path.join(HERE, "pileup.png"))
        apd(folder, os.path.join(HERE, "apd.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
