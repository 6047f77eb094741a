#!/usr/bin/env python3
"""Turns NEWS.md into AppStream's <releases>, after checking it against the other version records.

    news.py NEWS.md VERSION CHANGELOG

VERSION is project()'s. The newest release in NEWS.md must be VERSION, of the day of the newest
entry in debian/changelog, and both files must name the same upstream versions. Prints the
<releases> element; on a mismatch it says which and exits 1.
"""
import email.utils
import html
import re
import sys


def read_news(path):
    releases = []  # (version, day, [('p' or 'li', text)])
    for line in open(path, encoding='utf-8'):
        line = line.rstrip()
        heading = re.match(r'## (\S+) \((\d{4}-\d\d-\d\d)\)$', line)
        if heading:
            releases.append((heading[1], heading[2], []))
        elif not releases or line.startswith('#'):
            continue
        elif not line:
            releases[-1][2].append(None)  # a blank line ends a paragraph or an item
        elif line.startswith('- '):
            releases[-1][2].append(['li', line[2:]])
        elif releases[-1][2] and releases[-1][2][-1] is not None:
            releases[-1][2][-1][1] += ' ' + line.strip()
        else:
            releases[-1][2].append(['p', line])
    return [(v, d, [b for b in blocks if b is not None]) for v, d, blocks in releases]


def read_changelog(path):
    versions, day = [], None
    for line in open(path, encoding='utf-8'):
        entry = re.match(r'\S+ \(([^-)]+)-[^)]*\)', line)
        if entry and entry[1] not in versions:
            versions.append(entry[1])
        if line.startswith(' -- ') and day is None:
            day = email.utils.parsedate_to_datetime(line.split('  ', 1)[1].strip()).strftime('%Y-%m-%d')
    return versions, day


def to_xml(releases):
    out = ['<releases>']
    for version, day, blocks in releases:
        out.append(f'    <release version="{version}" date="{day}">')
        out.append('      <description>')
        in_list = False
        for kind, text in blocks:
            text = html.escape(text.replace('`', ''), quote=False)
            if kind == 'li' and not in_list:
                out.append('        <ul>')
            elif kind == 'p' and in_list:
                out.append('        </ul>')
            in_list = kind == 'li'
            out.append(f'        {"  " if in_list else ""}<{kind}>{text}</{kind}>')
        if in_list:
            out.append('        </ul>')
        out.append('      </description>')
        out.append('    </release>')
    out.append('  </releases>')
    return '\n'.join(out)


def main(news, version, changelog):
    releases = read_news(news)
    versions, day = read_changelog(changelog)
    problems = []
    if not releases:
        problems.append(f'{news} names no release')
    elif releases[0][:2] != (version, day):
        problems.append(f'{news}: newest release {releases[0][0]} of {releases[0][1]}, but project() '
                        f'says {version} and debian/changelog\'s newest entry is of {day}')
    if [r[0] for r in releases] != versions:
        problems.append(f'{news} names versions {[r[0] for r in releases]}, debian/changelog {versions}')
    if problems:
        sys.exit('news: ' + '; '.join(problems))
    print(to_xml(releases))


if __name__ == '__main__':
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
