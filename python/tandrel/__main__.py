"""Command line of tandrel.

    python -m tandrel generate [--gates h,t,cx] [--qubits 3] [--size 4] [--out FILE] [--naive] [--keep-singletons]
    python -m tandrel verify FILE

`generate` enumerates every circuit of a gate set up to a size, buckets them into equivalence classes, checks the
classes on a fresh random state and writes them as a Quartz ECC-set JSON file. `verify` re-checks any such file
exactly: every circuit's unitary is rebuilt with NumPy and the circuits of each class compared up to global phase.
"""

import argparse
import os
import resource
import sys
import time


class UsageProblem(Exception):
    """A bad argument: reported as one line on standard error, exit status 2."""


def _gate_set(text):
    from tandrel import Gate

    names = [n.strip() for n in text.split(",")]
    if not names or any(not n for n in names):
        raise UsageProblem(f"--gates must be a comma-separated list of gate names, got {text!r}")
    gates = []
    for name in names:
        g = Gate.from_name(name)
        if g is None:
            raise UsageProblem(f"unknown gate {name!r} in --gates")
        gates.append(g)
    return names, gates


def _instruction_count(gates, nqubits):
    """The number of placed instructions the search uses: every gate and its adjoint on every qubit (pair)."""
    seen = []
    for g in gates + [g.adjoint() for g in gates]:
        if g not in seen:
            seen.append(g)
    per_arity = {1: nqubits, 2: nqubits * (nqubits - 1)}
    return sum(per_arity.get(g.nqargs, 0) for g in seen), seen


def _check_writable(path):
    parent = os.path.dirname(os.path.abspath(path))
    if os.path.isdir(path):
        raise UsageProblem(f"--out {path!r} is a directory")
    if not os.path.isdir(parent):
        raise UsageProblem(f"cannot write {path!r}: directory {parent!r} does not exist")
    if os.path.exists(path) and not os.access(path, os.W_OK):
        raise UsageProblem(f"cannot write {path!r}: permission denied")
    if not os.path.exists(path) and not os.access(parent, os.W_OK | os.X_OK):
        raise UsageProblem(f"cannot write {path!r}: directory {parent!r} is not writable")


def _peak_rss_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def cmd_generate(args):
    import tandrel

    names, gates = _gate_set(args.gates)
    if not 1 <= args.qubits <= 8:
        raise UsageProblem(f"--qubits must be between 1 and 8, got {args.qubits}")
    if args.size < 0:
        raise UsageProblem(f"--size must not be negative, got {args.size}")
    for g, name in zip(gates, names):
        if g.nqargs not in (1, 2):
            raise UsageProblem(f"gate {name!r} acts on {g.nqargs} qubits; only 1- and 2-qubit gates are supported")
        if g.nqargs > args.qubits:
            raise UsageProblem(f"gate {name!r} needs {g.nqargs} qubits but --qubits is {args.qubits}")
    out = args.out or f"eccs_{'_'.join(names)}_{args.qubits}q_{args.size}.json"
    _check_writable(out)
    count, full_set = _instruction_count(gates, args.qubits)

    times = {}
    t = time.perf_counter()
    evaluator = tandrel.Evaluator(args.qubits)
    search = tandrel.RawECCs.generate_naive if args.naive else tandrel.RawECCs.generate
    raw, counters = search(evaluator, gates, args.size)
    sys.stdout.flush()
    times["search"] = time.perf_counter() - t

    t = time.perf_counter()
    eccs = raw.simplify()
    del raw
    if not args.keep_singletons:
        eccs = eccs.filter_single()
    times["simplify"] = time.perf_counter() - t

    t = time.perf_counter()
    failing = eccs.check()
    times["check"] = time.perf_counter() - t
    if failing:
        print(f"tandrel generate: {len(failing)} classes failed the randomized check; nothing written", file=sys.stderr)
        for e in failing[:5]:
            print(str(e), file=sys.stderr)
        return 1

    t = time.perf_counter()
    eccs.dump_quartz(out)
    times["write"] = time.perf_counter() - t

    classes = [e for e in eccs.to_list() if len(e.circuits()) > 1]
    circuits = sum(len(e.circuits()) for e in classes)
    err = sys.stderr
    print(f"gate set: {', '.join(str(g) for g in full_set)} on {args.qubits} qubits, size {args.size}"
          f"{' (naive search)' if args.naive else ''}", file=err)
    print(f"instructions: {count}", file=err)
    print(f"explored {counters[0]}, evaluated {counters[1]}, filed {counters[2]}", file=err)
    print(f"written: {len(classes)} classes, {circuits} circuits to {out}", file=err)
    print("time: " + ", ".join(f"{k} {v:.2f} s" for k, v in times.items()), file=err)
    print(f"peak memory: {_peak_rss_mb():.0f} MB", file=err)
    return 0


def cmd_verify(args):
    from tandrel import quartz_check as qc

    t = time.perf_counter()
    classes = qc.read_classes(args.file)
    cache, failed, circuits = {}, 0, 0
    for key, members in classes:
        result = qc.verify_class(key, members, cache)
        circuits += len(members)
        if result is not None:
            failed += 1
            bad, worst = result
            print(f"class {key}: circuits {', '.join(map(str, bad))} differ from circuit 0 "
                  f"(largest entry difference {worst:.3g})")
    elapsed = time.perf_counter() - t
    verdict = "all equal" if failed == 0 else f"{failed} failing"
    print(f"verified {len(classes)} classes, {circuits} circuits: {verdict} ({elapsed:.2f} s)")
    return 0 if failed == 0 else 1


def build_parser():
    parser = argparse.ArgumentParser(prog="tandrel", description="Equivalence classes of small quantum circuits.")
    sub = parser.add_subparsers(dest="command", required=True)

    gen = sub.add_parser("generate", help="enumerate circuits into equivalence classes and write Quartz JSON")
    gen.add_argument("--gates", default="h,t,cx", help="comma-separated built-in gate names (default h,t,cx)")
    gen.add_argument("--qubits", type=int, default=3, help="number of qubits, 1 to 8 (default 3)")
    gen.add_argument("--size", type=int, default=4, help="largest circuit size (default 4)")
    gen.add_argument("--out", help="output path (default eccs_<gates>_<qubits>q_<size>.json)")
    gen.add_argument("--naive", action="store_true", help="use the baseline search without qubit relabelling")
    gen.add_argument("--keep-singletons", action="store_true", help="keep classes with a single circuit")
    gen.set_defaults(run=cmd_generate)

    ver = sub.add_parser("verify", help="check every class of a Quartz ECC-set file exactly")
    ver.add_argument("file", help="the JSON file")
    ver.set_defaults(run=cmd_verify)
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    try:
        return args.run(args)
    except UsageProblem as e:
        print(f"tandrel {args.command}: error: {e}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(f"tandrel {args.command}: interrupted", file=sys.stderr)
        return 130
    except Exception as e:  # file problems of verify
        from tandrel.quartz_check import FileProblem

        if isinstance(e, FileProblem):
            print(f"tandrel {args.command}: error: {e}", file=sys.stderr)
            return 2
        raise


if __name__ == "__main__":
    sys.exit(main())
