"""python3 -m compensation report RESULT.json -o report.pdf"""

import argparse
import sys

import matplotlib

matplotlib.use("Agg")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m compensation")
    commands = parser.add_subparsers(dest="command", required=True)
    report = commands.add_parser(
        "report", help="write the PDF report of a result file (compensate ... --result FILE)"
    )
    report.add_argument("result", help="result file (JSON)")
    report.add_argument("-o", "--output", required=True, help="the PDF to write")
    report.add_argument("--title", help="the report's title")
    args = parser.parse_args(argv)

    from . import InputError, UsageError
    from .report import write_report

    try:
        pages = write_report(args.result, args.output, title=args.title)
    except (OSError, ValueError, KeyError, InputError, UsageError) as e:
        print(f"python3 -m compensation: error: {e}", file=sys.stderr)
        return 2
    print(f"report of {args.result} written to {args.output} ({pages} pages)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
