#!/usr/bin/env bash
# Makes a fresh Debian machine ready to build and test scanflow: the Debian packages the build
# uses, a virtual environment in .venv with the Python packages, and scanflow installed into it.
# Running it again only installs what is missing and rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ make pkg-config libpcre2-dev libssl-dev nlohmann-json3-dev zlib1g-dev libgtest-dev
          libblosc-dev python3-venv)
scripts/debian_packages.sh "${packages[@]}"

python=${PYTHON:-python3}
if [ ! -x .venv/bin/python ]; then
    "$python" -m venv .venv
fi
.venv/bin/python -m pip install -q --disable-pip-version-check -r scripts/requirements.txt
# Warnings are errors when CI builds.
SCANFLOW_WERROR=${SCANFLOW_WERROR:-OFF} .venv/bin/python -m pip install -q \
    --disable-pip-version-check --no-build-isolation .
