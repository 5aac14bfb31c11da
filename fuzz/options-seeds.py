#!/usr/bin/env python3
"""Writes fuzzing seeds for option decoding: argument vectors made of the
option texts of the data file, words separated by newlines."""
import os
import sys

options, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
texts = [line.split()[0] for line in open(options)
         if line.strip() and not line.startswith("#")]
for i in range(0, len(texts), 8):
    group = texts[i:i + 8]
    words = []
    for t in group:
        words.append(t)
        if t.endswith("=") or t.endswith("-"):
            words[-1] = t + "1"
        words.append("x")
    with open(os.path.join(out, "seed-%04d" % (i // 8)), "w") as f:
        f.write("\n".join(words))
open(os.path.join(out, ".done"), "w").close()
