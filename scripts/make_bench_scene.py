#!/usr/bin/env python3
"""Writes the benchmark scene: N points (200000 for the reference scene) bound at explicit
(u, v) on a 10 x 10 bicubic surface, cubic profile curves that move every point, and dense
push maps. The same N always gives the same file (fixed random seed).

Usage: python3 scripts/make_bench_scene.py [N [OUT.json]]"""
import json, math, os, random, sys

def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 200000
    out = sys.argv[2] if len(sys.argv) > 2 else "bench_scene.json"
    rnd = random.Random(7)
    cu = cv = 10
    deg = 3
    # host knots: cvCount + degree - 1 entries; clamped uniform, domain [0, 7]
    kn = [0.0, 0.0] + [float(i) for i in range(0, cu - deg + 1)] + [float(cu - deg)] * 2
    assert len(kn) == cu + deg - 1, len(kn)
    cvs = []
    for iu in range(cu):
        for iv in range(cv):
            x = iu / (cu - 1) * 4.0 - 2.0
            y = iv / (cv - 1) * 4.0 - 2.0
            z = 0.4 * math.sin(1.3 * x) * math.cos(0.9 * y) + 1.5 - 0.15 * (x * x + y * y)
            cvs.append([x, y, z])
    surface = {"degreeU": deg, "degreeV": deg, "cvCountU": cu, "cvCountV": cv,
               "knotsU": kn, "knotsV": kn, "cvs": cvs}
    ccvs = [[0, 0, 0], [0.2, 0.35, 0.1], [0.4, 0.5, -0.1], [0.6, 0.3, 0.2], [0.8, 0.1, 0.0], [1, 0, 0]]
    bcvs = [[0, 0, 0], [0.2, 0.0, 0.0], [0.4, 0.0, 0.0], [0.6, 0.0, 0.0], [0.8, 0.0, 0.0], [1, 0, 0]]
    ck = [0, 0, 0, 0, 1, 2, 3, 3, 3, 3]
    curve = {"degree": 3, "knots": ck, "cvs": ccvs}
    curve_base = {"degree": 3, "knots": ck, "cvs": bcvs}
    up = [rnd.uniform(0.02, 0.98) for _ in range(n)]
    vp = [rnd.uniform(0.02, 0.98) for _ in range(n)]
    # points near the surface: a rough lift above a bilinear guess; binding is explicit, so exact placement is not needed
    pts = [[u * 4.0 - 2.0 + rnd.uniform(-0.01, 0.01), v * 4.0 - 2.0 + rnd.uniform(-0.01, 0.01), 1.6 + rnd.uniform(0, 0.05)]
           for u, v in zip(up, vp)]
    dense = lambda lo, hi: [round(rnd.uniform(lo, hi), 4) for _ in range(n)]
    attrs = {"slidingMethod": "vector", "paramType": "U", "startParam": 0.0, "endParam": 1.0,
             "push_coeff": 1.0, "ud_factor": 0.3, "lr_factor": 0.2, "lr_center": 0.5,
             "uparams": up, "vparams": vp,
             "pushMap": dense(0, 1), "upushOutMap": dense(0, 0.5), "dpushInMap": dense(0, 0.5),
             "lpushOutMap": dense(0, 0.5), "rpushInMap": dense(0, 0.5)}
    scene = {"node": "benchNode", "surface": surface, "curve": curve, "curveBase": curve_base,
             "points": pts, "envelope": 1.0, "cacheAttributes": True, "attributes": attrs}
    folder = os.path.dirname(out)
    if folder:
        os.makedirs(folder, exist_ok=True)
    with open(out, "w") as f:
        json.dump(scene, f)
    print(f"wrote {out}: {n} points")

if __name__ == "__main__":
    main()
