#!/usr/bin/env python3
"""Writes the demo scene: an upper eyelid (a quad mesh, eyelid.obj) resting on an
eyeball-like bicubic patch, with a blink profile curve that closes it.

Usage: make_eyelid_scene.py OUT_DIR   (writes OUT_DIR/eyelid.json and OUT_DIR/eyelid.obj)

The eyeball is a sphere of radius 1 looking along +z; u runs up the eye (vertical angle),
v across it (horizontal angle). The window runs along v, so the profile curve's y
component slides the lid along u: a positive dy closes it."""
import json
import math
import os
import sys

RADIUS = 1.0
CV_U, CV_V, DEGREE = 6, 7, 3
PHI = (-60.0, 60.0)    # vertical angle span of the patch, degrees
THETA = (-70.0, 70.0)  # horizontal angle span
SKIN = 1.04            # the lid rests just outside the ball


def sphere(phi_deg, theta_deg, radius):
    phi, theta = math.radians(phi_deg), math.radians(theta_deg)
    return [radius * math.cos(phi) * math.sin(theta), radius * math.sin(phi), radius * math.cos(phi) * math.cos(theta)]


def lerp(span, f):
    return span[0] + (span[1] - span[0]) * f


def host_knots(cv_count, degree):
    spans = cv_count - degree
    return [0.0] * (degree - 1) + [float(k) for k in range(spans + 1)] + [float(spans)] * (degree - 1)


def surface():
    cvs = []
    for iu in range(CV_U):
        for iv in range(CV_V):
            # a little outward so the smoothed patch stays close to the sphere
            x, y, z = sphere(lerp(PHI, iu / (CV_U - 1)), lerp(THETA, iv / (CV_V - 1)), RADIUS * 1.02)
            cvs.append([round(x, 6), round(y, 6), round(z, 6)])
    return {"degreeU": DEGREE, "degreeV": DEGREE, "cvCountU": CV_U, "cvCountV": CV_V,
            "knotsU": host_knots(CV_U, DEGREE), "knotsV": host_knots(CV_V, DEGREE), "cvs": cvs}


def lid_mesh(rows=12, columns=25):
    """Rows run from the lid margin (row 0, just above the pupil) up to the brow."""
    vertices, faces, umap, upush = [], [], [], []
    for r in range(rows):
        f = r / (rows - 1)
        phi = lerp((4.0, 48.0), f)
        for c in range(columns):
            theta = lerp((-62.0, 62.0), c / (columns - 1))
            vertices.append([round(v, 6) for v in sphere(phi, theta, SKIN)])
            umap.append(round(1.0 - 0.75 * f * f, 4))         # the margin follows fully, the brow barely
            upush.append(round(0.35 * (1.0 - f) ** 2, 4))      # the margin rolls out over the cornea
    for r in range(rows - 1):
        for c in range(columns - 1):
            a = r * columns + c + 1  # OBJ indices start at 1
            faces.append([a, a + 1, a + 1 + columns, a + columns])
    return vertices, faces, umap, upush


def compact_json(value, indent=""):
    """Objects one field per line; lists of numbers (and lists of points) kept short."""
    if isinstance(value, dict):
        inner = indent + "  "
        fields = [inner + json.dumps(k) + ": " + compact_json(v, inner) for k, v in value.items()]
        return "{\n" + ",\n".join(fields) + "\n" + indent + "}"
    if isinstance(value, list) and value and isinstance(value[0], list):
        inner = indent + "  "
        return "[\n" + ",\n".join(inner + json.dumps(v) for v in value) + "\n" + indent + "]"
    return json.dumps(value)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    vertices, faces, umap, upush = lid_mesh()
    with open(os.path.join(out, "eyelid.obj"), "w") as obj:
        obj.write("# upper eyelid resting on the eyeball; rows from the lid margin up to the brow\n")
        for v in vertices:
            obj.write("v %s %s %s\n" % tuple(repr(c) for c in v))
        for face in faces:
            obj.write("f %s\n" % " ".join(str(i) for i in face))
    cubic = [0, 0, 0, 0, 1, 1, 1, 1]
    scene = {
        "node": "eyelidSlide",
        "surface": surface(),
        "curveBase": {"degree": 3, "knots": cubic, "cvs": [[0, 0, 0], [0.33, 0, 0], [0.67, 0, 0], [1, 0, 0]]},
        "curve": {"degree": 3, "knots": cubic, "cvs": [[0, 0, 0], [0.3, 1.15, 0.05], [0.7, 1.15, 0.05], [1, 0, 0]]},
        "points": "eyelid.obj",
        "envelope": 1.0,
        "cacheAttributes": True,
        "attributes": {
            "slidingMethod": "vector", "paramType": "U",
            "startParam": 0.12, "endParam": 0.88,
            "ud_factor": 0.9, "lr_factor": 0.0, "lr_center": 0.5, "push_coeff": 0.15,
            "umap": umap, "upushOutMap": upush, "pushMap": [0.5] * len(vertices),
        },
    }
    with open(os.path.join(out, "eyelid.json"), "w") as f:
        f.write(compact_json(scene) + "\n")


if __name__ == "__main__":
    main()
