"""Writes python/vantel/__init__.pyi, what editors and type checkers see of
the vantel package, from the package as it runs: generate()'s and sweep()'s
parameters are made from the engine's option table, so run this again
whenever vantel-gen's options change (a test says when):

    PYTHONPATH=python /usr/bin/python3 python/gen_stubs.py

PYTHONPATH must name a vantel package whose extension is built from the
current sources.
"""

import dataclasses
import inspect
import json
import pathlib
import sys
import types
import typing

import vantel

STUB = pathlib.Path(__file__).resolve().parent / "vantel" / "__init__.pyi"

HEADER = '''\
# Made by python/gen_stubs.py from the package as it runs; do not edit.
import os
from collections.abc import Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Literal

import numpy as np
import numpy.typing as npt

if TYPE_CHECKING:
    import distributed
'''

# What the runtime does not say: the types of the classes' attributes and
# methods. A public name missing here is declared as Any, or untyped.
ATTRIBUTE_TYPES = {
    "Clip": {"samples": "npt.NDArray[np.int16]", "rate": "int", "labels": "list[tuple[str, int, int]]",
             "report": "list[str]", "snr_measured_db": "float", "settings": "dict[str, Any]"},
    "SweepResult": {"folder": "str", "files": "list[str]", "clipping_warning": "str | None"},
    "Scorecard": {"suite": "str", "quick": "bool", "files_total": "int", "runs": "list[Any]",
                  "rows": "list[dict[str, Any]]", "thresholds": "list[dict[str, Any]]",
                  "files": "list[dict[str, Any]]", "decoders": "dict[str, str]", "interrupted": "bool",
                  "overhead_seconds": "float", "decoder_seconds": "dict[str, float]", "error": "str | None"},
}
METHOD_SIGNATURES = {
    "Clip": {"duration": "(self) -> float", "save": "(self, path: str | os.PathLike[str]) -> None",
             "to_float": "(self) -> npt.NDArray[np.float32]"},
    "Scorecard": {"summary": "(self) -> dict[str, Any]", "write": "(self, folder: str | os.PathLike[str]) -> None"},
}


def annotation_source(annotation):
    """An annotation object as stub source."""
    if isinstance(annotation, str):
        return json.dumps(annotation)
    if annotation is None or annotation is type(None):
        return "None"
    origin, args = typing.get_origin(annotation), typing.get_args(annotation)
    if origin in (typing.Union, types.UnionType):
        return " | ".join(annotation_source(a) for a in args)
    if origin is typing.Literal:
        return "Literal[" + ", ".join(json.dumps(a) for a in args) + "]"
    if origin is not None:
        return f"{type_name(origin)}[{', '.join(annotation_source(a) for a in args)}]"
    return type_name(annotation)


def type_name(cls):
    if cls.__module__ in ("builtins", "collections.abc") or cls.__module__.startswith("vantel"):
        return cls.__qualname__
    return f"{cls.__module__}.{cls.__qualname__}"


def docstring(obj, indent):
    doc = inspect.getdoc(obj)
    if not doc or dataclasses.is_dataclass(obj) and doc.startswith(obj.__name__ + "("):  # dataclass's own
        return []
    text = doc.replace("\\", "\\\\").replace('"""', '\\"\\"\\"')
    lines = [indent + line if line else "" for line in text.splitlines()]
    lines[0] = f'{indent}"""{lines[0].strip()}'
    return lines + [indent + '"""']


def function_stub(name, function):
    signature = inspect.signature(function)
    lines = [f"def {name}("]
    marked = False
    for parameter in signature.parameters.values():
        if parameter.kind is inspect.Parameter.KEYWORD_ONLY and not marked:
            lines.append("    *,")
            marked = True
        text = f"    {parameter.name}"
        if parameter.annotation is not inspect.Parameter.empty:
            text += f": {annotation_source(parameter.annotation)}"
        if parameter.default is not inspect.Parameter.empty:
            text += f" = {parameter.default!r}"
        lines.append(text + ",")
    lines.append(f") -> {annotation_source(signature.return_annotation)}:")
    return lines + docstring(function, "    ") + ["    ..."]


def public_names(cls):
    """The names a user reaches on the class: its attributes and methods,
    and the fields it declares."""
    own = [*getattr(cls, "__slots__", ()), *vars(cls).get("__annotations__", {}), *vars(cls)]
    return [name for name in dict.fromkeys(own) if not name.startswith("_")]


def attribute_type(cls, name):
    return ATTRIBUTE_TYPES.get(cls.__name__, {}).get(name, "Any")


def member_stub(cls, name):
    member = inspect.getattr_static(cls, name, None)
    given = METHOD_SIGNATURES.get(cls.__name__, {}).get(name)
    if isinstance(member, property):
        return ["    @property", f"    def {name}{given or '(self) -> Any'}: ..."]
    if inspect.isfunction(member):
        return [f"    def {name}{given or inspect.signature(member)}: ..."]
    return [f"    {name}: {attribute_type(cls, name)}"]


def field_stub(cls, field):
    default = "" if field.default is dataclasses.MISSING else f" = {field.default!r}"
    if field.default_factory is not dataclasses.MISSING:
        default = " = ..."
    return [f"    {field.name}: {attribute_type(cls, field.name)}{default}"]


def class_stub(cls):
    bases = ", ".join(type_name(b) for b in cls.__bases__ if b is not object)
    lines = ["@dataclass"] if dataclasses.is_dataclass(cls) else []
    lines.append(f"class {cls.__name__}({bases}):" if bases else f"class {cls.__name__}:")
    lines += docstring(cls, "    ")
    fields = dataclasses.fields(cls) if dataclasses.is_dataclass(cls) else ()
    for field in fields:
        lines += field_stub(cls, field)
    for name in public_names(cls):
        if name not in {field.name for field in fields}:
            lines += member_stub(cls, name)
    return lines + ([] if len(lines) > 1 else ["    ..."])


def stub_text():
    lines = [HEADER.rstrip("\n"), ""]
    exported = [getattr(vantel, name) for name in vantel.__all__]
    lines += [f"from . import {m.__name__.rpartition('.')[2]} as {m.__name__.rpartition('.')[2]}"
              for m in exported if isinstance(m, types.ModuleType)]
    lines += ["", "__version__: str", f"__all__ = {json.dumps(vantel.__all__)}"]
    for obj in exported:
        if isinstance(obj, type):
            lines += ["", ""] + class_stub(obj)
    for name, obj in zip(vantel.__all__, exported):
        if inspect.isfunction(obj):
            lines += ["", ""] + function_stub(name, obj)
    return "\n".join(lines) + "\n"


def main():
    STUB.write_text(stub_text(), encoding="utf-8")
    print(f"wrote {STUB}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
