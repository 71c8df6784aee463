#!/usr/bin/env bash
# The operator's guide explains every message the controller logs: each text that the sources
# give to the message log or write to standard error is quoted in docs/operator-guide.md (in
# backticks), piece by piece between the placeholders that are filled in at run time.
set -u
src="$KIV_SOURCE_DIR"
guide="$src/docs/operator-guide.md"
[ -f "$guide" ] || { echo "FAIL: $guide missing"; exit 1; }

perl -e '
    use strict;
    my ($guide_path, @sources) = @ARGV;
    open(my $g, "<", $guide_path) or die "$guide_path: $!";
    my $guide = do { local $/; <$g> };
    $guide =~ s/\\\|/|/g;                       # "\|" in markdown tables
    $guide =~ s/^```.*?^```//msg;             # code blocks
    my @quoted = ($guide =~ /`([^`\n]+)`/g);
    my ($texts, $missing) = (0, 0);
    for my $file (@sources) {
        open(my $f, "<", $file) or die "$file: $!";
        my $code = do { local $/; <$f> };
        $code =~ s{^\s*//.*$}{}mg;              # comment lines
        # The calls that write a message, up to the end of their statement.
        while ($code =~ /\b(logError|logWarning|logNote|logInfo|logToStandardError|logNotReadable)\s*\(([^;]*);/g) {
            my $args = $2;
            # Adjacent string literals form one text.
            my $text = "";
            while ($args =~ /"((?:[^"\\]|\\.)*)"/g) { $text .= $1; }
            next if $text eq "";
            $texts++;
            $text =~ s/\\n/\n/g;
            $text =~ s/\\"/"/g;
            for my $piece (split /%[0-9]|%[a-z]+|\n/, $text) {
                $piece =~ s/^\s+|\s+$//g;
                next if length($piece) < 3;
                next if grep { index($_, $piece) >= 0 } @quoted;
                print "not in the guide: \"$piece\" ($file)\n";
                $missing++;
            }
        }
    }
    die "no message texts found in the sources\n" if $texts < 40;
    exit($missing ? 1 : 0);
' "$guide" $(find "$src/src/" -name '*.cpp' | sort) || { echo "FAIL"; exit 1; }
echo "ok"
