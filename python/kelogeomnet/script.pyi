from typing import Optional, Sequence

class ScriptError(RuntimeError):
    number: int
    text: str
    line: int
    output: str
    def __init__(self, number: int, text: str, line: int, output: str) -> None: ...

def run(text: str, args: Optional[Sequence[str]] = None) -> str: ...
