#!/usr/bin/perl
# Draws the logo panel's picture, 227 x 184 pixels: a kestrel hovering over a
# mountain tarn at dusk. Writes it as a binary PPM to standard output; the
# build turns it into a baseline JPEG with cjpeg.
use strict;
use warnings;

my ($w, $h) = (227, 184);
binmode STDOUT;
print "P6\n$w $h\n255\n";

sub mix { my ($a, $b, $t) = @_; map { int($a->[$_] + ($b->[$_] - $a->[$_]) * $t + 0.5) } 0 .. 2 }
sub clamp { my $v = shift; $v < 0 ? 0 : $v > 1 ? 1 : $v }

my @skyTop = (32, 44, 96);
my @skyLow = (236, 150, 92);
my @ridge = (58, 52, 84);
my @ridgeNear = (34, 38, 58);
my @water = (40, 70, 110);
my @bird = (24, 20, 22);

# The far and near ridges, as heights over x.
sub far { my $x = shift; 92 + 14 * sin($x / 19) + 9 * sin($x / 7 + 1) }
sub near { my $x = shift; 118 + 10 * sin($x / 23 + 2) + 5 * sin($x / 5) }
my $shore = 132;

# The kestrel: two swept wings and a body, centred at (112, 52).
sub is_bird {
    my ($x, $y) = @_;
    my ($cx, $cy) = (112, 52);
    my ($dx, $dy) = ($x - $cx, $y - $cy);
    return 1 if ($dx / 5) ** 2 + ($dy / 11) ** 2 <= 1;           # body
    return 1 if $dy > 8 && $dy < 20 && abs($dx) <= 3 - ($dy - 8) / 6;  # tail
    for my $side (-1, 1) {                                       # wings
        my $u = $side * $dx;
        next if $u < 3 || $u > 46;
        my $edge = -0.28 * $u + 0.004 * $u * $u;
        return 1 if $dy >= $edge - 3 + $u / 30 && $dy <= $edge + 4 - $u / 12;
    }
    return 0;
}

for my $y (0 .. $h - 1) {
    my $row = '';
    for my $x (0 .. $w - 1) {
        my @c;
        if (is_bird($x, $y)) {
            @c = @bird;
        } elsif ($y < far($x) && $y < $shore) {
            @c = mix(\@skyTop, \@skyLow, clamp($y / 110));
            my $d = sqrt(($x - 170) ** 2 + ($y - 88) ** 2);       # low sun
            @c = mix(\@c, [255, 222, 160], clamp(1 - $d / 16)) if $d < 16;
        } elsif ($y < near($x) && $y < $shore) {
            @c = mix(\@ridge, \@skyLow, 0.15 * clamp((far($x) + 20 - $y) / 20));
        } elsif ($y < $shore) {
            @c = @ridgeNear;
        } else {
            # The tarn mirrors the sky, darker, with ripples.
            my $m = 2 * $shore - $y;
            @c = mix(\@water, [mix(\@skyTop, \@skyLow, clamp($m / 110))], 0.45);
            @c = mix(\@c, [20, 30, 50], 0.25) if (int($y / 3) + int($x / 11)) % 5 == 0;
        }
        $row .= pack('C3', @c);
    }
    print $row;
}
