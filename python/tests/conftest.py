import os
import random

import pytest

import kelogeomnet as kg


@pytest.fixture
def rng():
    return random.Random(20261206)


@pytest.fixture
def kelo_tool():
    path = os.environ.get("KELO_TOOL")
    if not path or not os.path.exists(path):
        pytest.skip("KELO_TOOL (the kelo program) not given")
    return path


@pytest.fixture(autouse=True)
def restore_settings():
    # Settings are process-wide; a test that changes one must not leak it into the next.
    nodata = kg.raster.nodata()
    yield
    kg.raster.set_nodata(nodata)
