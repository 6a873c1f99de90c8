# SPDX-License-Identifier: MIT
"""The same bits from 8 threads at once, from forked and spawned processes,
and from a Dask cluster whose workers run different instruction sets."""
import multiprocessing
import threading

import numpy as np
import pytest

import kalmlib

RNG = np.random.default_rng(29)
X64 = RNG.uniform(-100, 100, 20000)
X32 = X64.astype(np.float32)
NAMES = ["sin", "exp", "log", "pow", "atan2", "tanh", "fmod"]


def run_all():
    out = []
    for name in NAMES:
        f = getattr(kalmlib, name)
        for x in (X64, X32):
            out.append(f(*[np.abs(x) if name == "log" else x] * f.nin).tobytes())
    return out


def test_threads():
    want = run_all()
    got, errors = [], []
    barrier = threading.Barrier(8)

    def work(k):
        barrier.wait()
        # each thread its own control word: another thread's raises stay its own
        with kalmlib.errstate(invalid="raise" if k % 2 else "ignore"):
            for _ in range(3):
                got.append(run_all())
            try:
                kalmlib.sqrt(-1.0)
                raised = False
            except kalmlib.InvalidOperation:
                raised = True
            if raised != bool(k % 2):
                errors.append(k)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert len(got) == 24 and all(g == want for g in got)


@pytest.mark.parametrize("method", ["fork", "spawn"])
def test_processes(method):
    chunks = np.array_split(X64, 4)
    with multiprocessing.get_context(method).Pool(2) as pool:
        got = pool.map(kalmlib.sin, chunks)
    assert np.concatenate(got).tobytes() == kalmlib.sin(X64).tobytes()


@pytest.mark.filterwarnings("ignore::UserWarning", "ignore::DeprecationWarning")
def test_dask_cluster_of_two_instruction_sets():
    da = pytest.importorskip("dask.array")
    distributed = pytest.importorskip("distributed")
    import hashlib

    n, chunk = 10**7, 10**6
    x = da.linspace(-100.0, 100.0, n, chunks=chunk)

    def digest(block):
        return np.array([[int.from_bytes(hashlib.sha256(block.tobytes()).digest()[:7], "little"), kalmlib.isa()]])

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as client:
        workers = sorted(client.scheduler_info()["workers"])
        client.run(kalmlib.set_isa, "scalar", workers=workers[:1])
        isas = client.run(kalmlib.isa)
        assert isas[workers[0]] == 0
        for name in ("sin", "exp"):
            y = getattr(kalmlib, name)(x)
            assert isinstance(y, da.Array)
            got = y.map_blocks(digest, chunks=(1, 2), new_axis=1).compute()
            local = getattr(kalmlib, name)(x.compute(scheduler="sync"))
            want = [digest(b)[0, 0] for b in np.split(local, n // chunk)]
            assert list(got[:, 0]) == want
    if isas[workers[1]] != 0:
        assert set(got[:, 1]) == {0, isas[workers[1]]}  # both workers' paths were used
