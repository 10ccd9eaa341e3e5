#!/usr/bin/env python3
"""Writes a COLLADA document whose scene is one deep chain or one wide fan of nodes.

  gen_trees.py --nested N --out FILE   N nodes, each inside the previous one
  gen_trees.py --siblings N --out FILE one root node holding N - 1 empty children

Every node moves one unit along X, and the last node instances a pyramid, so a picture shows
whether the deepest node got its world matrix. Used to time the import and the frames of trees
that are far deeper or wider than any model.
"""
import argparse

HEAD = """<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/COLLADASchema" version="1.3.1">
<library type="MATERIAL"><material id="paint"><shader><technique profile="COMMON"><pass>
<program url="PHONG"><param name="AMBIENT" type="float3">0.3 0.1 0.08</param>
<param name="DIFFUSE" type="float3">0.8 0.25 0.2</param></program></pass></technique></shader></material></library>
<library type="GEOMETRY"><geometry id="g"><mesh>
<source id="p"><float_array id="pa" count="15">-1 -1 -1 1 -1 -1 1 1 -1 -1 1 -1 0 0 1</float_array>
<technique profile="COMMON"><accessor source="#pa" count="5" stride="3"/></technique></source>
<source id="q"><float_array id="qa" count="15">0 0 -1 0 -0.894427 0.447214 0.894427 0 0.447214 0 0.894427 0.447214 -0.894427 0 0.447214</float_array>
<technique profile="COMMON"><accessor source="#qa" count="5" stride="3"/></technique></source>
<vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
<polygons material="#paint" count="5"><input semantic="VERTEX" source="#v" idx="0"/><input semantic="NORMAL" source="#q" idx="1"/>
<p>3 0 2 0 1 0 0 0</p><p>0 1 1 1 4 1</p><p>1 2 2 2 4 2</p><p>2 3 3 3 4 3</p><p>3 4 0 4 4 4</p></polygons>
</mesh></geometry></library>
<scene id="s">
"""
TAIL = "</scene>\n</COLLADA>\n"
STEP = "<translate>1 0 0</translate>"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    shape = ap.add_mutually_exclusive_group(required=True)
    shape.add_argument("--nested", type=int, help="nodes in one chain")
    shape.add_argument("--siblings", type=int, help="nodes: one root and its children")
    ap.add_argument("--out", required=True)
    a = ap.parse_args()
    with open(a.out, "w") as f:
        f.write(HEAD)
        if a.nested:
            n = a.nested
            for i in range(1, n + 1):
                f.write('<node id="n%d">%s' % (i, STEP))
            f.write('<instance url="#g"/>')
            f.write("</node>" * n)
        else:
            n = a.siblings
            f.write('<node id="n1">')
            for i in range(2, n):
                f.write('<node id="n%d">%s</node>' % (i, STEP))
            f.write('<node id="n%d">%s<instance url="#g"/></node>' % (n, STEP))
            f.write("</node>")
        f.write(TAIL)


if __name__ == "__main__":
    main()
