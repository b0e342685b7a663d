# Which datasets share a model: groups/N lists the datasets of group N, one a line. A dataset that
# fails on its own (no model named, or no file at its model path) is a group of its own, so that
# it is reported like any other.
tarnfold-batch --list-groups "$PWD"/jobs/*/ >groups.tsv
rm -rf groups && mkdir groups
awk -F'\t' 'NR > 1 { f = "groups/" $1; print $2 >>f; close(f) }' groups.tsv
