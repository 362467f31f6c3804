"""python3 -m compensation report RESULT.json -o report.pdf
python3 -m compensation layout LAYOUT.json -o layout.pdf (or .png)"""

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
    layout = commands.add_parser(
        "layout", help="draw a layout file (compensate plan) from above and from the side"
    )
    layout.add_argument("layout", help="layout file (JSON)")
    layout.add_argument("-o", "--output", required=True, help="the PDF or PNG to write")
    args = parser.parse_args(argv)

    from . import InputError, UsageError
    from .plots import plot_layout
    from .report import write_report

    try:
        if args.command == "layout":
            plot_layout(args.layout).savefig(args.output)
            print(f"layout {args.layout} drawn in {args.output}")
        else:
            pages = write_report(args.result, args.output, title=args.title)
            print(f"report of {args.result} written to {args.output} ({pages} pages)")
    except (OSError, ValueError, KeyError, InputError, UsageError) as e:
        print(f"python3 -m compensation: error: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
