import pytest

from kelogeomnet import script


def test_output_and_arguments_round_trip_text():
    text = 'void main(array args) { println(args.getSize(), ":", args[0], "|", args[1]); }'
    assert script.run(text, ["地块 A", "two words"]) == "2:地块 A|two words\n"


@pytest.mark.parametrize("text,number,line", [
    ("void main(array a) {\n  x = ;\n}", 1420, 2),
    ("void main(array a) {\n  int i = 0;\n  i = 1 / 0;\n}", None, 3),
    ("void main(array a) {\n  array b = {};\n  println(b[5]);\n}", None, 3),
])
def test_errors_carry_number_text_and_line(text, number, line):
    with pytest.raises(script.ScriptError) as caught:
        script.run(text)
    e = caught.value
    assert e.line == line and e.text.startswith(f"错误{e.number} ")
    assert e.number == number if number else 10000 <= e.number <= 10313
