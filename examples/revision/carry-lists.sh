# For every dataset under jobs/: what became of its listed faces (since.tsv in the dataset), and
# its lists carried over to the new face numbers when every listed face has a certain answer.
# A dataset that lists a face without one, or a split, merged or reshaped face, keeps its lists
# as they are and is named here.
for d in jobs/*/; do
  tarnfold-faces "$d" --since parts/bracket-old.step --rewrite >"${d}since.tsv" 2>"${d}since.log" ||
    echo "${d%/}: lists not carried over, see ${d}since.tsv and ${d}since.log"
done
