"""The embedded script language: run(text, args) compiles and runs a script's text."""
from ._core import script as _s

__all__ = ["run", "ScriptError"]


class ScriptError(RuntimeError):
    """A script that failed to compile or stopped with a run-time error.

    number: the error number (1000-1202 front end, 1300-1420 compiler, 10000-10313 run
    time; 0 for errors without one); text: the library's full error text (UTF-8); line: the
    script line it names (0 when none); output: what the script printed before it failed.
    """

    def __init__(self, number, text, line, output):
        super().__init__(text)
        self.number = number
        self.text = text
        self.line = line
        self.output = output


def run(text, args=None):
    """Runs the script text (its main(array args) gets args, a list of str) and returns what
    it printed. Raises ScriptError when it fails to compile or stops with an error."""
    output, error, number, line = _s._run(text, args)
    if error is not None:
        raise ScriptError(number, error, line, output)
    return output
