#!/usr/bin/env python3
"""Writes a deterministic client-like tree of about 200 MB in 2,000 files and its package
description: programs and libraries (code-like bytes with string tables), texts, profiles,
already-compressed media and a few large files. Entry 0 is the decompression library,
copied from the Windows build.

usage: make-payload.py TREE DESCRIPTION --dunzip DLL [--files N] [--mb M]
"""
import argparse
import os
import random
import shutil

p = argparse.ArgumentParser()
p.add_argument("tree")
p.add_argument("description")
p.add_argument("--dunzip", required=True)
p.add_argument("--files", type=int, default=2000)
p.add_argument("--mb", type=float, default=200.0)
a = p.parse_args()

rng = random.Random(1997)
words = ("le la les un une des du de et pour avec dans sur votre vous modem courrier message "
         "dossier fichier connexion service membre forum page aide option acces reseau "
         "numero telephone mot passe utilisateur nouvelles lettres envoyer recevoir").split()
phrases = [(" ".join(rng.choice(words) for _ in range(rng.randint(6, 16))) + ".\r\n").encode()
           for _ in range(2000)]

# Code: a skewed byte alphabet (opcodes, small offsets, zero bytes) in 1 KB blocks drawn
# from a pool far larger than the deflate window, so it packs like machine code, not like
# a repeated pattern.
common = [0x00, 0x00, 0x00, 0xFF, 0x8B, 0x89, 0x45, 0x55, 0xE8, 0x83, 0xC4, 0x04, 0x08,
          0x50, 0x51, 0x52, 0x53, 0x56, 0x57, 0x5D, 0xC3, 0x6A, 0x74, 0x75, 0xEB, 0x0F, 0x85]
code_pool = []
for _ in range(2048):
    block = bytearray(1024)
    for i in range(1024):
        block[i] = rng.choice(common) if rng.random() < 0.6 else rng.getrandbits(8)
    code_pool.append(bytes(block))


def text(size):
    out = bytearray()
    while len(out) < size:
        out += rng.choice(phrases)
    return bytes(out[:size])


def program(size):
    out = bytearray(b"MZ" + bytes(62) + b"PE\0\0" + bytes(184))
    while len(out) < size:
        r = rng.random()
        if r < 0.75:
            out += rng.choice(code_pool)
        elif r < 0.9:
            out += text(512).decode().encode("utf-16-le")[:1024]  # string table
        else:
            out += bytes(1024)  # section padding
    return bytes(out[:size])


def media(size):
    return rng.randbytes(size)


def data(size):
    # Records: a few fields that change, the rest repeated.
    out = bytearray()
    rec = rng.randbytes(32)
    while len(out) < size:
        out += rng.randbytes(8) + rec + rng.choice(phrases)[:24]
        if rng.random() < 0.01:
            rec = rng.randbytes(32)
    return bytes(out[:size])


kinds = [  # folder, extension, maker, share of the small files
    ("", "dll", program, 0.20),
    ("tool", "exe", program, 0.10),
    ("aide", "txt", text, 0.20),
    ("mpm", "ini", text, 0.05),
    ("art", "jpg", media, 0.15),
    ("sounds", "wav", media, 0.10),
    ("idb", "dat", data, 0.20),
]
total = int(a.mb * 1e6)
large = [("art\\intro.avi", media, 0.08), ("kovmain.dll", program, 0.06),
         ("aide\\guide.txt", text, 0.04), ("idb\\catalog.dat", data, 0.06),
         ("sounds\\music.mp3", media, 0.05)]
small_total = total - sum(int(total * s) for _, _, s in large)
small_count = a.files - 1 - len(large)

if os.path.exists(a.tree):
    shutil.rmtree(a.tree)
os.makedirs(a.tree)
names = ["dunzip32.dll"]
shutil.copyfile(a.dunzip, os.path.join(a.tree, "dunzip32.dll"))


def put(name, content):
    path = os.path.join(a.tree, *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)
    names.append(name)


# Small files: sizes from an exponential spread, scaled to the wanted total.
sizes = [rng.expovariate(1.0) + 0.02 for _ in range(small_count)]
scale = small_total / sum(sizes)
for i, s in enumerate(sizes):
    r, acc = rng.random(), 0.0
    for folder, ext, maker, share in kinds:
        acc += share
        if r < acc:
            break
    name = "f%04d.%s" % (i, ext)
    put(folder + "\\" + name if folder else name, maker(max(16, int(s * scale))))
for name, maker, share in large:
    put(name, maker(int(total * share)))

with open(a.description, "w") as f:
    f.write("[Setup]\nDefaultDestDir = C:\\Kov30I\nQuickRefFile = quickref.txt\n[Files]\n")
    f.write("\n".join(names) + "\n")
size = sum(os.path.getsize(os.path.join(a.tree, *n.split("\\"))) for n in names)
print("payload: %d files, %.1f MB" % (len(names), size / 1e6))
