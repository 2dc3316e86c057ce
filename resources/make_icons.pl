#!/usr/bin/perl
# Draws kestrel's icons: a circuit chip with an arrow pointing up (an update
# going into the firmware), at 32 x 32 in 2 colours, 32 x 32 in 16 colours and
# 16 x 16 in 16 colours. Writes, into DIR, each image as an icon resource
# (icon1.bin to icon3.bin: a DIB with its AND mask), the group that lists
# them under the resource numbers 30001 to 30003 (group.bin), and the same
# three as one .ico file (kestrel.ico) for people and tools.
#   make_icons.pl DIR
use strict;
use warnings;

my $dir = shift or die "usage: make_icons.pl DIR\n";

# The 16 colours of the standard Windows palette.
my @vga = (
    [0, 0, 0], [128, 0, 0], [0, 128, 0], [128, 128, 0], [0, 0, 128], [128, 0, 128], [0, 128, 128], [192, 192, 192],
    [128, 128, 128], [255, 0, 0], [0, 255, 0], [255, 255, 0], [0, 0, 255], [255, 0, 255], [0, 255, 255], [255, 255, 255],
);

# What lies at a point (u, v) of the unit square, v growing downwards:
# undef where the icon is transparent, otherwise a part name.
sub part {
    my ($u, $v) = @_;
    my $in = sub { my ($a, $b, $c, $d) = @_; $u >= $a && $u < $b && $v >= $c && $v < $d };
    # The arrow: a head from 0.28 to 0.50, a shaft down to 0.72.
    if ($v >= 0.28 && $v < 0.50) {
        my $half = ($v - 0.28) * 0.85;
        return 'arrow' if abs($u - 0.5) <= $half;
    }
    return 'arrow' if $in->(0.43, 0.57, 0.50, 0.72);
    return 'edge' if $in->(0.19, 0.81, 0.19, 0.81) && !$in->(0.25, 0.75, 0.25, 0.75);
    return 'body' if $in->(0.25, 0.75, 0.25, 0.75);
    # Four pins on each side.
    for my $k (0 .. 3) {
        my ($a, $b) = (0.25 + $k * 0.14, 0.25 + $k * 0.14 + 0.08);
        return 'pin' if ($in->($a, $b, 0.03, 0.19) || $in->($a, $b, 0.81, 0.97) ||
                         $in->(0.03, 0.19, $a, $b) || $in->(0.81, 0.97, $a, $b));
    }
    return undef;
}

my %mono = (arrow => 1, edge => 0, body => 0, pin => 0);
my %colour = (arrow => 11, edge => 0, body => 4, pin => 7);

# One icon image: BITMAPINFOHEADER, palette, XOR bits and AND mask, rows
# bottom-up, each padded to four bytes.
sub image {
    my ($size, $bits) = @_;
    my $colours = 1 << $bits;
    my $map = $bits == 1 ? \%mono : \%colour;
    my @palette = $bits == 1 ? ([0, 0, 0], [255, 255, 255]) : @vga;
    my $xorRow = int(($size * $bits + 31) / 32) * 4;
    my $andRow = int(($size + 31) / 32) * 4;
    my ($xor, $and) = ('', '');
    for my $y (reverse 0 .. $size - 1) {
        my (@x, @a);
        for my $x (0 .. $size - 1) {
            my $p = part(($x + 0.5) / $size, ($y + 0.5) / $size);
            push @x, defined $p ? $map->{$p} : 0;
            push @a, defined $p ? 0 : 1;
        }
        my $row = '';
        if ($bits == 1) { $row = pack('B*', join('', @x)) }
        else { $row = pack('C*', map { $x[2 * $_] << 4 | $x[2 * $_ + 1] } 0 .. $size / 2 - 1) }
        $xor .= $row . ("\0" x ($xorRow - length $row));
        my $mask = pack('B*', join('', @a));
        $and .= $mask . ("\0" x ($andRow - length $mask));
    }
    my $header = pack('V l l v v V V l l V V', 40, $size, 2 * $size, 1, $bits, 0,
                      length($xor) + length($and), 0, 0, 0, 0);
    my $pal = join('', map { pack('C4', $_->[2], $_->[1], $_->[0], 0) } @palette);
    return ($header . $pal . $xor . $and, $colours);
}

sub write_file {
    my ($name, $bytes) = @_;
    open(my $fh, '>:raw', "$dir/$name") or die "make_icons.pl: cannot write $dir/$name: $!\n";
    print $fh $bytes;
    close($fh) or die "make_icons.pl: cannot write $dir/$name: $!\n";
}

my @images = ([32, 1, 30001], [32, 4, 30002], [16, 4, 30003]);
my $group = pack('v3', 0, 1, scalar @images);
my $ico = pack('v3', 0, 1, scalar @images);
my $offset = 6 + 16 * @images;
my $data = '';
for my $i (0 .. $#images) {
    my ($size, $bits, $id) = @{$images[$i]};
    my ($bytes, $colours) = image($size, $bits);
    write_file('icon' . ($i + 1) . '.bin', $bytes);
    my $entry = pack('C4 v2 V', $size, $size, $colours, 0, 1, $bits, length $bytes);
    $group .= $entry . pack('v', $id);
    $ico .= $entry . pack('V', $offset + length $data);
    $data .= $bytes;
}
write_file('group.bin', $group);
write_file('kestrel.ico', $ico . $data);
