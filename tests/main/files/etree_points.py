#!/usr/bin/env python3
"""Prints the points of a GPX file of one kind as Python's XML reader finds
them, one line each: lat, lon, name, ele, cmt and whether the point starts
its track segment or route, tab-separated. Track points take the track's
name, route points their own. Texts lose their line breaks and tabs and the
blanks around them, as a table cell does."""
import sys
import xml.etree.ElementTree as ET


def local(tag):
    return tag.rsplit('}', 1)[-1]


def child_text(e, name):
    for c in e:
        if local(c.tag) == name:
            t = (c.text or '').replace('\r\n', ' ').replace('\r', ' ').replace('\n', ' ').replace('\t', ' ')
            return t.strip(' ')
    return ''


def line(p, name, first):
    return '\t'.join([p.get('lat', ''), p.get('lon', ''), name, child_text(p, 'ele'), child_text(p, 'cmt'),
                      'True' if first else 'False'])


def main():
    path, kind = sys.argv[1], sys.argv[2]
    root = ET.parse(path).getroot()
    out = []
    for e in root:
        tag = local(e.tag)
        if kind == 'waypoint' and tag == 'wpt':
            out.append(line(e, child_text(e, 'name'), False))
        elif kind == 'route' and tag == 'rte':
            first = True
            for p in e:
                if local(p.tag) == 'rtept':
                    out.append(line(p, child_text(p, 'name'), first))
                    first = False
        elif kind == 'track' and tag == 'trk':
            for s in e:
                if local(s.tag) != 'trkseg':
                    continue
                first = True
                for p in s:
                    if local(p.tag) == 'trkpt':
                        out.append(line(p, child_text(e, 'name'), first))
                        first = False
    sys.stdout.write(''.join(l + '\n' for l in out))


main()
