#!/usr/bin/python3
"""Draws the application icon (a letter with a globe stamp) as three XPM files:
32x32 in 2 colours, 32x32 and 16x16 in 16 colours. Run it in this folder."""


def envelope(size, stamp):
    """A grid of colour keys: '.' transparent, 'k' outline, 'w' paper, 'f' flap, 'b'/'g' globe."""
    grid = [['.'] * size for _ in range(size)]
    top, bottom = size // 4, size - size // 5
    left, right = 0 if size == 16 else 1, size - 1 if size == 16 else size - 2
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = y in (top, bottom) or x in (left, right)
            grid[y][x] = 'k' if edge else 'w'
    # The flap: two lines from the top corners to the middle.
    middle = (left + right) / 2
    depth = (bottom - top) * 0.6
    for x in range(left, right + 1):
        y = top + round(depth * (1 - abs(x - middle) / (middle - left)))
        if top < y < bottom:
            grid[y][x] = 'f'
    if stamp:
        r = max(2, size // 8)
        cx, cy = right - r - 1, top + r + 1
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if d <= r * r:
                    grid[y][x] = 'g' if (x + y) % 3 == 0 else 'b'
    return grid


def write(name, grid, colours):
    size = len(grid)
    lines = [f'"{size} {size} {len(colours)} 1",']
    lines += [f'"{key} c {value}",' for key, value in colours.items()]
    rows = ['"' + ''.join(row) + '"' for row in grid]
    lines += [row + ',' for row in rows[:-1]] + [rows[-1]]
    with open(name, 'w') as out:
        out.write('/* XPM */\nstatic char *' + name.split('.')[0] + '[] = {\n')
        out.write('\n'.join(lines) + '\n};\n')


def two_colours(grid):
    return [['.' if c == '.' else ('w' if c == 'w' else 'k') for c in row] for row in grid]


palette = {'.': 'None', 'k': '#000000', 'w': '#FFFFFF', 'f': '#800000', 'b': '#0000FF',
           'g': '#008000'}
write('webletter_32_2.xpm', two_colours(envelope(32, False)),
      {'.': 'None', 'k': '#000000', 'w': '#FFFFFF'})
write('webletter_32_16.xpm', envelope(32, True), palette)
write('webletter_16_16.xpm', envelope(16, True), palette)
