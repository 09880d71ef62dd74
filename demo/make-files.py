#!/usr/bin/env python3
"""Generates the contents of the demo client package.

usage: make-files.py DESCRIPTION OUTDIR [--dunzip DLL] [--client EXE] [--kovdb KOVDB]
                     [--uninstaller EXE]

Every entry of the description's [Files] section gets a file under OUTDIR, with a size and
kind of contents like a real client's: programs and libraries begin with "MZ", sounds are
RIFF files, modem scripts and profiles are text, the quick reference guide is a French text
of several pages. Contents are deterministic (seeded by the entry name), so rebuilding gives
the same package. The decompression library and the client program are copied from the
build when given and present, and so is the uninstaller RM_KOV.EXE (its presence in the
destination is what makes the setup register the uninstall entry); otherwise a placeholder
beginning with "MZ" stands in and a warning says so. With --kovdb the client's main database
(IDB\MAIN.IDX) is a real, empty record database made by that tool, holding its version and
kind records, so that the setup's migration has a database to carry the earlier installation's records into.
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys

WORDS = ("le la les un une des du de et ou pour avec dans sur par votre vous nous KOV "
         "service connexion modem courrier message dossier fichier écran option menu "
         "aide membre forum discussion téléchargement adresse mot passe nom utilisateur "
         "paramètre numéro accès réseau page lien rubrique sélectionnez cliquez "
         "choisissez ouvrez fermez envoyez recevez enregistrez").split()


def rng_for(name):
    seed = int.from_bytes(hashlib.sha1(name.lower().encode("cp1252")).digest()[:8], "little")
    return random.Random(seed)


def text_bytes(rng, size):
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
        line = line[0].upper() + line[1:] + ".\r\n"
        data = line.encode("cp1252")
        out.append(data)
        length += len(data)
    return b"".join(out)[:size]


def binary_bytes(rng, size, head=b""):
    # Half random, half repeated records: compresses about as well as real program files.
    out = bytearray(head)
    while len(out) < size:
        n = rng.randint(256, 4096)
        if rng.random() < 0.5:
            out += rng.randbytes(n)
        else:
            record = rng.randbytes(rng.randint(8, 64))
            out += (record * (n // len(record) + 1))[:n]
    return bytes(out[:size])


def pe_bytes(rng, size):
    head = bytearray(b"MZ" + bytes(58) + (128).to_bytes(4, "little"))
    head += b"This program cannot be run in DOS mode.\r\r\n$".ljust(64, b"\0")
    head += b"PE\0\0"
    return binary_bytes(rng, size, bytes(head))


def wav_bytes(rng, size):
    data = binary_bytes(rng, size - 44)
    header = (b"RIFF" + (size - 8).to_bytes(4, "little") + b"WAVEfmt " +
              (16).to_bytes(4, "little") + (1).to_bytes(2, "little") + (1).to_bytes(2, "little") +
              (11025).to_bytes(4, "little") + (11025).to_bytes(4, "little") +
              (1).to_bytes(2, "little") + (8).to_bytes(2, "little") + b"data" +
              len(data).to_bytes(4, "little"))
    return header + data


def ini_bytes(rng, name, size):
    lines = ["[%s]" % os.path.splitext(os.path.basename(name))[0].upper()]
    n = 0
    while sum(len(l) + 2 for l in lines) < size:
        n += 1
        lines.append("Cle%03d=%s" % (n, " ".join(rng.choice(WORDS) for _ in range(4))))
        if n % 20 == 0:
            lines.append("[Section%02d]" % (n // 20))
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def ccl_bytes(rng, name, size):
    base = os.path.splitext(os.path.basename(name))[0]
    lines = ["; Script de connexion %s" % base, "!begin", "  output \"ATZ\\13\"",
             "  input 5 \"OK\"", "  output \"AT&F&C1&D2\\13\"", "  input 5 \"OK\"",
             "  output \"ATDT^D\\13\"", "  input 60 \"CONNECT\"", "!end"]
    text = "\r\n".join(lines) + "\r\n"
    while len(text) < size:
        text += "; %s\r\n" % " ".join(rng.choice(WORDS) for _ in range(10))
    return text.encode("cp1252")


QUICKREF_SECTIONS = [
    ("Bienvenue dans KOV 3.0i",
     "Ce guide de référence rapide présente les fonctions essentielles de KOV. Gardez-le "
     "près de votre ordinateur : il vous aidera lors de vos premières connexions. Vous pouvez "
     "l'imprimer à tout moment depuis le programme d'installation ou depuis le menu Aide."),
    ("Se connecter",
     "Lancez KOV en double-cliquant sur son icône dans le groupe KOV. Sélectionnez votre nom "
     "d'utilisateur, tapez votre mot de passe puis cliquez sur Connexion. Le programme compose "
     "le numéro d'accès choisi lors de l'installation. Si la ligne est occupée, KOV essaie "
     "automatiquement le numéro suivant de votre liste."),
    ("Le courrier électronique",
     "Un signal sonore et l'icône de la boîte aux lettres vous indiquent l'arrivée d'un nouveau "
     "message. Pour le lire, cliquez sur Lire dans la barre d'outils. Pour écrire, choisissez "
     "Écrire un message dans le menu Courrier, tapez l'adresse du destinataire, l'objet et le "
     "texte, puis cliquez sur Envoyer. Vous pouvez joindre un fichier à chaque message."),
    ("Le classeur personnel",
     "Le classeur personnel conserve sur votre disque les messages que vous souhaitez garder. "
     "Il se trouve dans le dossier ORGANIZE de KOV et il est conservé lors des mises à jour."),
    ("Les forums et la discussion",
     "Les forums regroupent les membres autour d'un thème : informatique, loisirs, voyages, "
     "sports. Pour participer à une discussion en direct, choisissez Salons dans le menu "
     "Communiquer. Respectez la charte de KOV : soyez courtois et ne divulguez jamais votre mot "
     "de passe, même à une personne qui se présente comme un employé du service."),
    ("Internet",
     "KOV vous donne accès au World Wide Web grâce au navigateur intégré. Tapez une adresse "
     "dans la zone Aller à puis appuyez sur Entrée. Les pages que vous visitez souvent peuvent "
     "être ajoutées à vos favoris."),
    ("Le téléchargement de fichiers",
     "Les fichiers que vous téléchargez sont enregistrés dans le dossier DOWNLOAD. Le "
     "gestionnaire de téléchargement vous permet de reprendre plus tard un transfert interrompu."),
    ("Modifier les paramètres de connexion",
     "Si vous changez de modem ou de numéro d'accès, ouvrez l'écran de connexion et cliquez sur "
     "Configuration. Vous pouvez y choisir un autre modem, un autre port série ou une autre "
     "vitesse, et ajouter des numéros d'accès."),
    ("En cas de difficulté",
     "Vérifiez que votre modem est sous tension et correctement relié à la ligne téléphonique. "
     "Fermez les autres programmes qui utilisent le port série. Si l'incident persiste, "
     "contactez le Service clientèle d'KOV au 01-23-45-67-89, du lundi au samedi."),
]


def quickref_bytes():
    lines = ["KOV 3.0i - GUIDE DE RÉFÉRENCE RAPIDE", "=" * 36, ""]
    page = 1
    for number, (title, body) in enumerate(QUICKREF_SECTIONS * 3, 1):
        # Three passes: the guide, then the same topics as "Questions fréquentes" and "Astuces".
        part = ("", "Questions fréquentes : ", "Astuces : ")[(number - 1) // len(QUICKREF_SECTIONS)]
        lines += ["%d. %s%s" % (number, part, title), "-" * (len(title) + len(part) + 4)]
        words = body.split()
        line = ""
        for w in words:
            if len(line) + len(w) + 1 > 72:
                lines.append(line)
                line = w
            else:
                line = (line + " " + w).strip()
        lines += [line, ""]
        if number % 3 == 0:
            lines += ["", "- Page %d -" % page, "\f"]
            page += 1
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


SIZES = {  # extension: (smallest, largest) in bytes
    ".dll": (40000, 260000), ".exe": (60000, 300000), ".vxd": (20000, 70000),
    ".kov": (15000, 120000), ".ccl": (900, 3000), ".ini": (800, 6000), ".inf": (1500, 4000),
    ".art": (20000, 90000), ".wav": (8000, 50000), ".htm": (2000, 7000), ".txt": (1500, 6000),
    ".hlp": (120000, 250000), ".cnt": (1500, 4000), ".adr": (500, 2000), ".dat": (2000, 20000),
}
FIXED = {"kov.exe": 900000, "idb\\main.idx": 1400000, "idb\\art.idx": 420000,
         "idb\\forms.idx": 90000}


def contents(name):
    rng = rng_for(name)
    lower = name.lower()
    ext = os.path.splitext(lower)[1]
    if lower == "quickref.txt":
        return quickref_bytes()
    low, high = SIZES.get(ext, (1000, 10000))
    size = FIXED.get(lower, rng.randint(low, high))
    if ext in (".dll", ".exe", ".vxd", ".kov"):
        return pe_bytes(rng, size)
    if ext == ".wav":
        return wav_bytes(rng, size)
    if ext in (".ini", ".inf", ".cnt"):
        return ini_bytes(rng, name, size)
    if ext == ".ccl":
        return ccl_bytes(rng, name, size)
    if ext in (".txt", ".htm"):
        return text_bytes(rng, size)
    return binary_bytes(rng, size)


def entries(description):
    section = None
    with open(description, "rb") as f:
        for raw in f.read().decode("cp1252").splitlines():
            line = raw.strip()
            if not line or line[0] in ";#":
                continue
            if line.startswith("["):
                section = line.strip("[]").strip().lower()
                continue
            if section == "files":
                yield line.split("=")[0].strip()


def main(argv):
    args = [a for a in argv[1:]]
    options = {}
    for key in ("--dunzip", "--client", "--kovdb", "--uninstaller"):
        if key in args:
            i = args.index(key)
            options[key] = args[i + 1]
            del args[i:i + 2]
    if len(args) != 2:
        sys.exit(__doc__)
    description, outdir = args
    copies = {"dunzip32.dll": options.get("--dunzip"), "kov.exe": options.get("--client"),
              "rm_kov.exe": options.get("--uninstaller")}
    for name in entries(description):
        target = os.path.join(outdir, *name.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        source = copies.get(name.lower())
        if source and os.path.exists(source):
            shutil.copyfile(source, target)
            continue
        if source is not None or name.lower() in copies:
            print("make-files: %s not built yet; a placeholder stands in" % name, file=sys.stderr)
        if name.lower() == "idb\\main.idx" and options.get("--kovdb"):
            make_main_database(options["--kovdb"], target)
            continue
        data = contents(name)
        with open(target, "wb") as f:
            f.write(data)


def make_main_database(kovdb, target):
    if os.path.exists(target):
        os.remove(target)
    subprocess.run([kovdb, "create", target, "--id", "0x01000401"], check=True,
                   stdout=subprocess.DEVNULL)
    # Version record: byte 1 major, byte 2 minor; the setup writes its own version there.
    # Kind 33 with code 1, the kind the demo script expects of an earlier installation.
    for gid, data in (("0x14000006", "00030000"), ("0x1400006D", "21"), ("0x14000068", "00000100")):
        subprocess.run([kovdb, "set", target, gid, "--hex", data], check=True,
                       stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main(sys.argv)
