#!/usr/bin/env bash
# Every relative link and image of the repository's pages (README.md,
# CHANGELOG.md and docs/**/*.md) leads to a file of the repository, and every
# "#anchor" to a heading of the page it names, with the anchors made as
# GitHub makes them: the heading's text (code spans and link texts as their
# text), lower case, every character but letters, marks, digits, "_", "-" and
# spaces dropped, each space a "-", and "-1", "-2", ... behind repeats. Code
# blocks and code spans are no links. In a Git work tree a target must also
# be known to Git, so that a clone has it too. Names every broken link.
#
#   links_test.sh SOURCE
set -euo pipefail
root=$(realpath "$1")
cd "$root"
tracked=""
if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    tracked=$(mktemp)
    trap 'rm -f "$tracked"' EXIT
    git ls-files -z --cached >"$tracked"
fi
mapfile -d '' pages < <(find . -maxdepth 1 -name '*.md' -print0; find docs -name '*.md' -print0 2>/dev/null)
((${#pages[@]} > 0)) || { echo "links_test: no pages found" >&2; exit 1; }

perl -CSD -Mutf8 - "$tracked" "${pages[@]}" <<'PERL'
use strict;
use warnings;

my ($tracked_list, @pages) = @ARGV;
my (%known, %known_dir);
if ($tracked_list ne '') {
    open(my $fh, '<:raw', $tracked_list) or die "links_test: $tracked_list: $!\n";
    local $/ = "\0";
    while (my $name = <$fh>) {
        chomp $name;
        utf8::decode($name);
        $known{$name} = 1;
        my $dir = $name;
        $known_dir{$dir} = 1 while $dir =~ s{/[^/]*$}{};
    }
}

# A page's lines outside code blocks (fenced, or indented by four spaces
# after a blank line), with their numbers, code spans taken out.
sub prose_lines {
    my ($page) = @_;
    open(my $fh, '<:encoding(UTF-8)', $page) or die "links_test: $page: $!\n";
    my @out;
    my ($fence, $indented, $previous_blank) = ('', 0, 1);
    while (my $line = <$fh>) {
        chomp $line;
        my $number = $.;
        if ($fence ne '') {
            $fence = '' if $line =~ /^\s*\Q$fence\E/;
            next;
        }
        if ($line =~ /^\s*(```+|~~~+)/) {
            $fence = $1;
            next;
        }
        if ($line =~ /^ {4}/ && ($previous_blank || $indented)) {
            $indented = 1;
            next;
        }
        $indented = 0;
        $previous_blank = $line =~ /^\s*$/;
        (my $prose = $line) =~ s/(`+).*?\1//g;
        push @out, [$number, $prose, $line];
    }
    return @out;
}

# The anchors of a page's headings, as GitHub makes them.
my %anchors_of;
sub anchors {
    my ($page) = @_;
    return $anchors_of{$page} if $anchors_of{$page};
    my (%anchors, %seen);
    for my $entry (prose_lines($page)) {
        my $line = $entry->[2];
        next unless $line =~ /^ {0,3}#{1,6}\s+(.*?)\s*#*\s*$/;
        my $text = $1;
        $text =~ s/!?\[([^\]]*)\]\([^)]*\)/$1/g;  # a link or an image as its text
        $text =~ s/<[^>]*>//g;                    # inline HTML
        my $slug = lc $text;
        $slug =~ s/[^\p{L}\p{M}\p{N}\p{Pc}\- ]//g;
        $slug =~ tr/ /-/;
        my $n = $seen{$slug}++;
        $anchors{$n ? "$slug-$n" : $slug} = 1;
    }
    return $anchors_of{$page} = \%anchors;
}

my ($links, $broken) = (0, 0);
for my $page (@pages) {
    $page =~ s{^\./}{};
    my ($dir) = $page =~ m{^(.*/)?};
    for my $entry (prose_lines($page)) {
        my ($number, $prose) = @$entry;
        my @targets = $prose =~ /!?\[[^\]]*\]\(\s*<?([^)\s>]*)>?(?:\s+"[^"]*")?\s*\)/g;
        push @targets, $prose =~ /<img\b[^>]*\bsrc="([^"]*)"/g;
        for my $target (@targets) {
            next if $target =~ m{^[A-Za-z][A-Za-z0-9+.-]*:|^//};
            $links++;
            my ($path, $anchor) = $target =~ /^([^#]*)(?:#(.*))?$/;
            $path =~ s/%([0-9A-Fa-f]{2})/chr(hex($1))/ge;
            my $problem;
            my $file = $page;
            if ($path ne '') {
                my @parts;
                for my $part (split m{/}, ($dir // '') . $path) {
                    next if $part eq '' || $part eq '.';
                    if ($part eq '..') {
                        if (!@parts) { $problem = 'leads out of the repository'; last }
                        pop @parts;
                    } else {
                        push @parts, $part;
                    }
                }
                $file = join('/', @parts);
                if (!defined $problem) {
                    if (!-e $file) {
                        $problem = 'no such file';
                    } elsif ($tracked_list ne '' && !$known{$file} && !$known_dir{$file}) {
                        $problem = 'not in the repository (git add it)';
                    }
                }
            }
            if (!defined $problem && defined $anchor && $anchor ne '') {
                if ($file !~ /\.md$/i) {
                    $problem = 'an anchor into a file that is no page';
                } elsif (!-d $file && !anchors($file)->{$anchor}) {
                    $problem = "no heading with the anchor #$anchor";
                }
            }
            if (defined $problem) {
                print STDERR "links_test: $page:$number: $target: $problem\n";
                $broken++;
            }
        }
    }
}
if ($broken) {
    print STDERR "links_test: $broken of $links links broken\n";
    exit 1;
}
printf "links_test: %d links in %d pages resolve\n", $links, scalar @pages;
PERL
