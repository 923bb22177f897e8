#!/usr/bin/python3
"""Every sample file through varnook-cli IN -o OUT: the tool succeeds, files
that are well-formed and meet the round-trip conditions come back byte for
byte, and every output is a file that mido (an independent reader) accepts.

  cli_corpus_test.py CLI TESTDATA_DIR WORK_DIR
Exits 77 (skipped) when TESTDATA_DIR is absent.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import smf_check  # noqa: E402


def main():
    cli, data_dir, work = sys.argv[1:4]
    if not os.path.isdir(data_dir):
        print("SKIP: no sample MIDI files in %s" % data_dir)
        return 77
    import mido
    os.makedirs(work, exist_ok=True)
    names = sorted(n for n in os.listdir(data_dir) if n.endswith(".mid"))
    identical = checked = 0
    failures = []
    for name in names:
        source = os.path.join(data_dir, name)
        target = os.path.join(work, name)
        run = subprocess.run([cli, source, "-o", target], capture_output=True, timeout=60)
        if run.returncode != 0:
            failures.append("%s: exit %d %s" % (name, run.returncode, run.stderr[-200:]))
            continue
        lines = run.stdout.decode("utf-8").splitlines()
        if lines[-2:] != ["File saved", "Saved %d bytes" % os.path.getsize(target)]:
            failures.append("%s: log ends %r" % (name, lines[-2:]))
        try:
            mido.MidiFile(target)
        except Exception as error:  # any refusal is a failure
            failures.append("%s: mido refuses the output: %s" % (name, error))
        checked += 1
        if smf_check.eligible(source) is None:
            if open(source, "rb").read() != open(target, "rb").read():
                failures.append("%s: well-formed but not written back byte for byte" % name)
            else:
                identical += 1
    print("%d files loaded and saved, %d of them byte for byte" % (checked, identical))
    for failure in failures:
        print("FAIL", failure)
    if identical == 0:
        print("FAIL no file met the round-trip conditions")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
