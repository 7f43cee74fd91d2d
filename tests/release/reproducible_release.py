#!/usr/bin/python3
"""Two releases of one commit, from two clean checkouts at different paths, give the same zip.

  reproducible_release.py SOURCE WORK GATEWAY_HOST LISTING_HOST

SOURCE's HEAD is cloned into WORK/a/proxytool and, from there, into a second folder with a
longer path; ./release runs in each (its own configure and build, the win32 program only) and the
two zips must be byte for byte the same. When SOURCE has changes that are not committed (tracked
or new files), the first clone first commits its working tree as a snapshot with HEAD's time, so
the test covers what is being worked on; ./release itself refuses such a checkout. The zip is
left as WORK/proxytool-<version>-win32.zip for the checks that follow.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

def git(repo, *args, **kw):
    return subprocess.run(["git", "-C", repo, *args], check=True, capture_output=True, text=True, **kw).stdout


def snapshot_working_tree(source, clone):
    """Makes clone's tree the working tree of source (tracked and new, not ignored, files) and
    commits it with HEAD's time, so that every clone of clone has the same commit."""
    listed = git(source, "ls-files", "-z", "--cached", "--others", "--exclude-standard").split("\0")
    for entry in os.listdir(clone):
        if entry != ".git":
            path = os.path.join(clone, entry)
            shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)
    for rel in filter(None, dict.fromkeys(listed)):
        src = os.path.join(source, rel)
        if not os.path.lexists(src):
            continue  # deleted in the working tree
        dst = os.path.join(clone, rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst, follow_symlinks=False)
    when = git(source, "log", "-1", "--format=%ct").strip()
    git(clone, "add", "-A")
    env = dict(os.environ, GIT_AUTHOR_DATE=f"@{when} +0000", GIT_COMMITTER_DATE=f"@{when} +0000")
    git(clone, "-c", "user.name=release test", "-c", "user.email=release-test@example.invalid",
        "commit", "-q", "--allow-empty", "-m", "working tree snapshot", env=env)


def release(checkout, hosts):
    started = time.monotonic()
    run = subprocess.run(["./release", *hosts], cwd=checkout, capture_output=True, text=True)
    took = time.monotonic() - started
    if run.returncode != 0:
        sys.exit(f"./release failed in {checkout} (exit {run.returncode}):\n{run.stdout}\n{run.stderr}")
    zips = sorted(os.listdir(os.path.join(checkout, "dist")))
    if len(zips) != 1:
        sys.exit(f"{checkout}/dist holds {zips}, expected one zip")
    print(f"{checkout}: ./release took {took:.1f} s")
    return os.path.join(checkout, "dist", zips[0])


def differences(zip_a, zip_b):
    """Names the entries (or zip fields) in which the two zips differ."""
    with zipfile.ZipFile(zip_a) as a, zipfile.ZipFile(zip_b) as b:
        ia, ib = a.infolist(), b.infolist()
        if [i.filename for i in ia] != [i.filename for i in ib]:
            return [f"entries {[i.filename for i in ia]} / {[i.filename for i in ib]}"]
        out = []
        for x, y in zip(ia, ib):
            if a.read(x) != b.read(y):
                out.append(f"{x.filename}: contents")
            for field in ("date_time", "external_attr", "create_system", "compress_type", "extra"):
                if getattr(x, field) != getattr(y, field):
                    out.append(f"{x.filename}: {field} {getattr(x, field)} / {getattr(y, field)}")
        return out or ["zip framing (headers, compression)"]


def main():
    source, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    hosts = sys.argv[3:5]
    shutil.rmtree(work, ignore_errors=True)
    first = os.path.join(work, "a", "proxytool")
    second = os.path.join(work, "second-clean-checkout", "at-another-path", "proxytool")

    head = git(source, "rev-parse", "HEAD").strip()
    os.makedirs(work)
    git(source, "clone", "-q", "--no-local", source, first)
    git(first, "checkout", "-q", "--detach", head)
    if git(source, "status", "--porcelain"):
        print("the checkout has uncommitted changes: building a snapshot commit of its working tree")
        snapshot_working_tree(source, first)
    commit = git(first, "rev-parse", "HEAD").strip()
    git(source, "clone", "-q", "--no-local", first, second)
    git(second, "checkout", "-q", "--detach", commit)
    print(f"commit {commit} in\n  {first}\n  {second}")

    zip_a, zip_b = release(first, hosts), release(second, hosts)
    digests = []
    for z in (zip_a, zip_b):
        with open(z, "rb") as f:
            digests.append(hashlib.sha256(f.read()).hexdigest())
        print(f"  {digests[-1]}  {z}")
    if digests[0] != digests[1]:
        sys.exit("the two zips differ: " + "; ".join(differences(zip_a, zip_b)))
    shutil.copy2(zip_a, os.path.join(work, os.path.basename(zip_a)))
    shutil.rmtree(os.path.join(work, "a"))
    shutil.rmtree(os.path.join(work, "second-clean-checkout"))
    print(f"the same zip from both checkouts: {os.path.basename(zip_a)}")


if __name__ == "__main__":
    main()
