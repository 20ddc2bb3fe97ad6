"""A line per check, "ok" or "FAIL", as an end-to-end check prints them."""


class Checks:
    def __init__(self):
        self.passed = []
        self.failed = []

    def check(self, what, passed):
        print(f"{'ok  ' if passed else 'FAIL'} {what}", flush=True)
        (self.passed if passed else self.failed).append(what)

    @staticmethod
    def note(text):
        print(f"     {text}", flush=True)

    def summary(self, program, detail=""):
        """The closing lines; the exit status."""
        total = len(self.passed) + len(self.failed)
        if self.failed:
            print(f"{program}: {len(self.failed)} of {total} checks failed:")
            for what in self.failed:
                print(f"  {what}")
            return 1
        print(f"{program}: all {total} checks passed{detail}")
        return 0
