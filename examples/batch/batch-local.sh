# Every dataset under jobs/, each model read once for all the datasets that name it, two models
# at a time, each model's worker stopped after an hour. The table goes to batch.tsv; the datasets'
# error lines and the library's messages go to batch.log.
tarnfold-batch --jobs 2 --timeout 3600 jobs/*/ >batch.tsv 2>batch.log
